#pragma once
// Stand-in of the outside gatekeeper library's entry: it runs the Gatekeeper HAL service
// and returns the exit status when the service stops.
//
// Test control (the service runs in its own process, so through the environment):
//   VENDOR_GATEKEEPER_RECORD  a file to which the call appends its argv, one per line,
//                             then a line "--";
//   VENDOR_GATEKEEPER_STATUS  the status to return (default 0).
namespace aidl::android::hardware::gatekeeper {

int initAidlService(char** argv);

}  // namespace aidl::android::hardware::gatekeeper
