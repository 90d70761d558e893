#include "tsa_module_links.h"

// Where the host operations send their calls; tests swap single entries.
const TsaModuleLinks kTsaModuleDefaultLinks = {TsaReceiveModuleCmdData, TsaProcessModuleCmdData, CtrlState,
                                               TsaUpdateFrameData,      TsaUpdateDiffData,       GetSuspendSta};
TsaModuleLinks gstTsaModuleLinks = kTsaModuleDefaultLinks;
