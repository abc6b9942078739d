#include <gtest/gtest.h>

#include <string>

#include "app/parameter_cipher.h"
#include "app/query_decipher.h"
#include "fixtures/log_capture.h"

namespace {

TEST(DecipherQueryParameter, DeciphersWhatTheToolEnciphers) {
  char deciphered[Utility::kQueryDecipherSize];
  std::string parameter = Utility::EncodeParameter("role=1&meeting_id=4711");
  ASSERT_TRUE(Utility::DecipherQueryParameter(parameter.c_str(), deciphered));
  EXPECT_STREQ(deciphered, "role=1&meeting_id=4711");
  ASSERT_TRUE(Utility::DecipherQueryParameter("", deciphered));
  EXPECT_STREQ(deciphered, "");
}

TEST(DecipherQueryParameter, RefusesAParameterLongerThanItsBuffer) {
  char deciphered[Utility::kQueryDecipherSize];
  LogCapture log;
  std::string fits(Utility::kQueryDecipherSize - 1, 'A');
  EXPECT_TRUE(Utility::DecipherQueryParameter(fits.c_str(), deciphered));
  std::string too_long(Utility::kQueryDecipherSize, 'A');
  EXPECT_FALSE(Utility::DecipherQueryParameter(too_long.c_str(), deciphered));
  EXPECT_STREQ(deciphered, "");
  EXPECT_TRUE(log.Has("sParameter refused: 4096 bytes, at most 4095")) << log.Dump();
}

}  // namespace
