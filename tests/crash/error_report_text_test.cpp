#include "crash/error_report_text.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base/codec.h"
#include "crash/compress_buffer.h"
#include "crash/failure_report_setting.h"

namespace {

std::string RandomBytes(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string Inflate(const unsigned char* data, size_t size, size_t original_size) {
  std::vector<unsigned char> out(original_size + 1);
  uLongf length = static_cast<uLongf>(out.size());
  if (uncompress(out.data(), &length, data, static_cast<uLong>(size)) != Z_OK) return "<inflate failed>";
  return std::string(reinterpret_cast<char*>(out.data()), length);
}

std::string DecodeAttachment(const ReportAttachment& attachment) {
  long long count = Utility::Base64Decode(attachment.base64.c_str(), nullptr, 0);
  std::vector<unsigned char> compressed(static_cast<size_t>(count) + 1);
  Utility::Base64Decode(attachment.base64.c_str(), compressed.data(), compressed.size());
  return Inflate(compressed.data(), static_cast<size_t>(count), attachment.original_size);
}

TEST(CompressBuffer, RoundTripsAcrossPieceBoundaries) {
  for (size_t size : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(4097), size_t(70000)}) {
    std::string input = RandomBytes(size / 2, 7) + std::string(size - size / 2, 'a');
    std::vector<unsigned char> out(size + 512);
    size_t produced = CompressBuffer(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out.data(),
                                     out.size());
    ASSERT_GT(produced, 0u) << size;
    EXPECT_EQ(out[0], 0x78);  // zlib format, default window
    EXPECT_EQ(out[1], 0x9C);  // level 6
    EXPECT_EQ(Inflate(out.data(), produced, input.size()), input) << size;
  }
}

TEST(CompressBuffer, GivesZeroAndStaysInsideWhenItDoesNotFit) {
  std::string input = RandomBytes(20000, 3);
  std::vector<unsigned char> out(20000 + 64, 0xEE);
  // Random bytes do not shrink: 20,000 bytes of room are too few.
  EXPECT_EQ(CompressBuffer(reinterpret_cast<const unsigned char*>(input.data()), input.size(), out.data(), 20000),
            0u);
  for (size_t i = 20000; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "written past the capacity at " << i;
  EXPECT_EQ(CompressBuffer(nullptr, 5, out.data(), out.size()), 0u);
}

TEST(ReportAttachment, TextTravelsWithItsZeroByte) {
  ReportAttachment log = MakeTextAttachment("0123456789");  // a 10-byte log
  EXPECT_TRUE(log.present);
  EXPECT_EQ(log.original_size, 11u);
  EXPECT_EQ(DecodeAttachment(log), std::string("0123456789\0", 11));
  EXPECT_EQ(AttachmentSummary("Log", log),
            "Log: original size = 11, compressed size = " + std::to_string(log.compressed_size) +
                ", base64-encoded size = " + std::to_string(log.base64.size()));
}

TEST(ReportAttachment, NoRoomGivesZeroSizeAndEmptyTextButKeepsTheSummary) {
  std::string bytes = RandomBytes(3000, 5);
  ReportAttachment tight = MakeAttachment(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), 0);
  EXPECT_EQ(tight.compressed_size, 0u);
  EXPECT_TRUE(tight.base64.empty());
  EXPECT_EQ(AttachmentSummary("dump", tight),
            "dump: original size = 3000, compressed size = 0, base64-encoded size = 0");
  EXPECT_EQ(AttachmentSummary("Cache", ReportAttachment()), "");
}

TEST(RemoveCachePassword, DeletesOnlyTheValue) {
  std::string cleaned = RemoveCachePassword("<__CACHE__><__GUI_PASSWORD__>s3cr+t</__GUI_PASSWORD__>x</__CACHE__>");
  EXPECT_EQ(cleaned, "<__CACHE__><__GUI_PASSWORD__></__GUI_PASSWORD__>x</__CACHE__>");
  EXPECT_EQ(MakeTextAttachment(cleaned).original_size, cleaned.size() + 1);
  for (const char* unchanged : {"<__GUI_PASSWORD__>open only", "no tags</__GUI_PASSWORD__>",
                                "</__GUI_PASSWORD__>x<__GUI_PASSWORD__>y", ""})
    EXPECT_EQ(RemoveCachePassword(unchanged), unchanged);
}

// Only the documented yes asks; anything else, or no field, keeps it off.
TEST(AsksForFailureReports, OnlyAnExactYes) {
  EXPECT_TRUE(AsksForFailureReports("<__Role__>a</__Role__>\n<__ReportFailures__>Y</__ReportFailures__>\n"));
  for (const char* off : {"<__ReportFailures__>N</__ReportFailures__>", "<__ReportFailures__>y</__ReportFailures__>",
                          "<__ReportFailures__>Yes</__ReportFailures__>", "<__ReportFailures__></__ReportFailures__>",
                          "<__ReportFailures__>Y", "<__Role__>a</__Role__>", ""})
    EXPECT_FALSE(AsksForFailureReports(off)) << off;
  EXPECT_FALSE(AsksForFailureReports(nullptr));
}

ErrorReportFacts SampleFacts() {
  ErrorReportFacts facts;
  facts.current_file = "KestrelonStarter.exe";
  facts.current_directory = "C:\\D";
  facts.computer_name = "host";
  facts.computer_address = "10.1.2.3";
  facts.os_description = "Microsoft Windows XP Professional Service Pack 3 (Build 2600)";
  facts.ie_version = "8.0";
  facts.ie_minor_version = "Not Found";
  facts.ie_build = "Not found";
  facts.last_error = 2;
  facts.last_error_text = "The system cannot find the file specified.\r\n";
  return facts;
}

TEST(BuildErrorReportText, FollowsTheServersOrderExactly) {
  ErrorReportFacts facts = SampleFacts();
  facts.version = "5.2 V5.0 SP1 of Bootwick";
  facts.log.present = true;
  facts.log.original_size = 11;
  facts.log.compressed_size = 19;
  facts.log.base64 = "QUJD";
  facts.dump.present = true;
  facts.dump.original_size = 7;
  EXPECT_EQ(BuildErrorReportText(facts),
            "Kestrelon sCurrentFile = KestrelonStarter.exe\nsCurrentDirectory = C:\\D\n"
            "\n\nVersion: 5.2 V5.0 SP1 of Bootwick\nComputer Name: host\nComputer IP: 10.1.2.3"
            "\nOS: Microsoft Windows XP Professional Service Pack 3 (Build 2600)\nIE: 8.0\nIE Minor: Not Found"
            "\nIE Build: Not found\nGetLastError() returns: 2\nError: The system cannot find the file specified.\r\n"
            "\nLog: original size = 11, compressed size = 19, base64-encoded size = 4"
            "\n"
            "\ndump: original size = 7, compressed size = 0, base64-encoded size = 0"
            "\n<___LOGFILESIZE___>11</___LOGFILESIZE___>\n<___LOGFILE___>QUJD</___LOGFILE___>"
            "\n<___CACHEFILESIZE___>0</___CACHEFILESIZE___>\n<___CACHEFILE___></___CACHEFILE___>"
            "\n<___DUMPFILESIZE___>7</___DUMPFILESIZE___>\n<___DUMPFILE___></___DUMPFILE___>&&xyz\n");
}

TEST(BuildErrorReportBody, EncodesEveryLineFeedAndTheEndMark) {
  ErrorReportFacts facts = SampleFacts();
  facts.dump = MakeDumpAttachment(RandomBytes(4000, 9));  // Base64 with '+', '/', '=' and line feeds
  std::string text = BuildErrorReportText(facts);
  std::string body = BuildErrorReportBody(text);
  ASSERT_EQ(body.compare(0, 6, "error="), 0);
  // Spaces become '+'; every other special byte is escaped.
  EXPECT_EQ(body.find_first_of("\n\r/=&", 6), std::string::npos);
  ASSERT_NE(text.find('+'), std::string::npos);
  EXPECT_NE(body.find("%2B"), std::string::npos);
  size_t line_feeds = 0;
  for (char c : text) line_feeds += c == '\n';
  size_t encoded = 0;
  for (size_t at = 0; (at = body.find("%0A", at)) != std::string::npos; at += 3) ++encoded;
  EXPECT_EQ(encoded, line_feeds);
  EXPECT_EQ(body.substr(body.size() - 12), "%26%26xyz%0A");
  EXPECT_EQ(Utility::URLDecode(body.c_str() + 6), text);
}

TEST(BuildErrorReportBody, AZeroByteDoesNotCutTheReport) {
  std::string body = BuildErrorReportBody(std::string("a\0b c", 5));
  EXPECT_EQ(body, "error=a%00b+c");
}

}  // namespace
