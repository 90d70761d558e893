// vibrator-service: the vibrator HAL process.
#include "VibratorService.h"

int main() { return aidl::android::hardware::vibrator::runVibratorService(); }
