#pragma once
// Log records of the unpacker name the source file "ZLibpp" and two operation
// names: "CZLib::UnZip" for its own lines and "CCZLib::UnZip" for the
// system-error line that precedes each failure. All are level 0.
#include "base/log_api.h"

#define ZLIBPP_LOG(...) ::kslog::Write("CZLib::UnZip", 0, "ZLibpp", __LINE__, __VA_ARGS__)
#define ZLIBPP_ERROR_LOG(...) ::kslog::Write("CCZLib::UnZip", 0, "ZLibpp", __LINE__, __VA_ARGS__)
