// Shared between the two halves of libSeclink, not exported.
#pragma once

#include <cstdint>
#include <string>

#define LOG_TAG "Seclink-HAL"

// Forget every logical channel (the session that carried them is gone).
void seclinkMarkAllChannelsClosed();
std::string seclinkHex(const uint8_t* data, size_t length, bool upper);
