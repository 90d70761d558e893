#include "Weaver.h"

int main(int /*argc*/, char** /*argv*/) { return aidl::android::hardware::weaver::runWeaverService(); }
