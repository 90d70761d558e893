#pragma once
// Classes and functions this channel library exports to its users.
#define SECPROC_API __attribute__((visibility("default")))
