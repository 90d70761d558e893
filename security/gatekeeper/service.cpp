// gatekeeper-service: the Gatekeeper HAL lives in the outside library; this program only
// hands it the command line and exits with its status.
#include <gatekeeper/GateKeeperService.h>

int main(int /*argc*/, char** argv) { return aidl::android::hardware::gatekeeper::initAidlService(argv); }
