// The operator tool's commands as an operator meets them: help, refusals with
// a reason and a non-zero exit, and files the starter reads back.
#include <gtest/gtest.h>

#include <string>

#include "app/app_test_util_win.h"  // windows.h first
#include <wincrypt.h>
#include "app/embedded_block.h"
#include "app/parameter_cipher.h"
#include "app/settings_certificate.h"

namespace {

using apptest::Quote;
using apptest::RunKstool;

TEST(Kstool, HelpAndUsageErrors) {
  kstest::ProcessResult help = RunKstool("--help");
  EXPECT_EQ(help.exit_code, 0u);
  for (const char* command : {"stamp", "query", "cfg"}) {
    EXPECT_NE(help.output.find(command), std::string::npos) << command;
    kstest::ProcessResult one = RunKstool(std::string(command) + " --help");
    EXPECT_EQ(one.exit_code, 0u);
    EXPECT_NE(one.output.find("usage: kstool " + std::string(command)), std::string::npos) << one.output;
    kstest::ProcessResult bare = RunKstool(command);
    EXPECT_NE(bare.exit_code, 0u) << command;
    EXPECT_NE(bare.output.find("kstool: "), std::string::npos);
  }
  EXPECT_NE(RunKstool("query --client").exit_code, 0u);
}

TEST(Kstool, StampRefusesWhatTheStarterCouldNotUse) {
  kstest::TempDir dir("kstool");
  std::string good = dir.File("good.txt");
  std::string no_role = dir.File("norole.txt");
  std::string huge = dir.File("huge.txt");
  std::string not_pe = dir.File("notpe.exe");
  ASSERT_TRUE(kstest::WriteFile(good, "<__Role__>x</__Role__>\n"));
  ASSERT_TRUE(kstest::WriteFile(no_role, "<__ClientName__>x</__ClientName__>\n"));
  ASSERT_TRUE(kstest::WriteFile(huge, "<__Role__>x</__Role__>" + std::string(2100, 'p')));
  ASSERT_TRUE(kstest::WriteFile(not_pe, "just text"));
  std::string starter = Quote(kstest::BuildDir() + "\\KestrelonStarter.exe");
  std::string out = Quote(dir.File("out.exe"));

  kstest::ProcessResult result = RunKstool("stamp " + Quote(not_pe) + " " + Quote(good) + " " + out);
  EXPECT_EQ(result.exit_code, 2u);
  EXPECT_NE(result.output.find("MZ"), std::string::npos) << result.output;
  EXPECT_EQ(RunKstool("stamp " + starter + " " + Quote(no_role) + " " + out).exit_code, 2u);
  EXPECT_EQ(RunKstool("stamp " + starter + " " + Quote(huge) + " " + out).exit_code, 2u);
  EXPECT_EQ(RunKstool("stamp " + starter + " " + Quote(dir.File("missing.txt")) + " " + out).exit_code, 2u);
  EXPECT_FALSE(kstest::FileExists(dir.File("out.exe")));
}

// What the system's own decoder makes of a real signature (made by
// osslsigncode, kept with the fuzz seeds) once the settings certificate is
// added: both certificates, the settings extension intact, the signer kept.
TEST(Kstool, WindowsDecodesTheSignatureWithItsSettingsCertificate) {
  std::string seed = kstest::ReadFileOrEmpty(kstest::SourceDir() + "\\tests\\fuzz\\corpus\\settings_certificate\\signed");
  size_t zero = seed.find('\0');
  ASSERT_NE(zero, std::string::npos);
  const std::string settings = "<__Role__>attendee</__Role__>\n";
  std::string signature, error;
  ASSERT_TRUE(PutSettingsCertificate(reinterpret_cast<const unsigned char*>(seed.data()) + zero + 1,
                                     seed.size() - zero - 1, BuildSettingsCertificate(settings), signature, error))
      << error;

  CRYPT_DATA_BLOB blob = {static_cast<DWORD>(signature.size()), reinterpret_cast<BYTE*>(&signature[0])};
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  ASSERT_TRUE(CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                               CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &store, &message, nullptr))
      << GetLastError();
  DWORD signers = 0;
  DWORD size = sizeof signers;
  EXPECT_TRUE(CryptMsgGetParam(message, CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size));
  EXPECT_EQ(signers, 1u);
  int certificates = 0;
  std::string carried;
  for (PCCERT_CONTEXT certificate = CertEnumCertificatesInStore(store, nullptr); certificate != nullptr;
       certificate = CertEnumCertificatesInStore(store, certificate)) {
    ++certificates;
    PCERT_EXTENSION extension = CertFindExtension("1.3.6.1.4.1.32473.1.1", certificate->pCertInfo->cExtension,
                                                  certificate->pCertInfo->rgExtension);
    if (extension != nullptr)
      carried.assign(reinterpret_cast<const char*>(extension->Value.pbData), extension->Value.cbData);
  }
  CryptMsgClose(message);
  CertCloseStore(store, 0);
  EXPECT_EQ(certificates, 2);
  EXPECT_EQ(carried, BuildEmbeddedBlock(settings, 1));
}

TEST(Kstool, QueryRefusesEmptyOversizedAndBadClientNames) {
  kstest::TempDir dir("kstool");
  std::string empty = dir.File("empty.txt");
  std::string big = dir.File("big.txt");
  std::string good = dir.File("good.txt");
  ASSERT_TRUE(kstest::WriteFile(empty, "\r\n"));
  ASSERT_TRUE(kstest::WriteFile(big, "role=host&pass_through=" + std::string(2100, 'p')));
  ASSERT_TRUE(kstest::WriteFile(good, "role=host"));
  EXPECT_EQ(RunKstool("query " + Quote(empty)).exit_code, 2u);
  EXPECT_EQ(RunKstool("query " + Quote(big)).exit_code, 2u);
  EXPECT_EQ(RunKstool("query --client \"a:b\" " + Quote(good)).exit_code, 2u);
  kstest::ProcessResult named = RunKstool("query --client Fennimo " + Quote(good));
  EXPECT_EQ(named.exit_code, 0u);
  EXPECT_EQ(named.output.compare(0, 11, "Fennimo:sp="), 0) << named.output;
}

TEST(Kstool, CfgWritesWhatTheParameterDecipheringReadsBack) {
  kstest::TempDir dir("kstool");
  std::string settings = dir.File("settings.txt");
  std::string cfg = dir.File("starter.cfg");
  ASSERT_TRUE(kstest::WriteFile(settings, "<__Role__>host</__Role__>\r\n<__MeetingId__>5</__MeetingId__>\r\n"));
  kstest::ProcessResult result = RunKstool("cfg " + Quote(settings) + " " + Quote(cfg));
  ASSERT_EQ(result.exit_code, 0u) << result.output;
  std::string text = kstest::ReadFileOrEmpty(cfg);
  Utility::DecodeParameter(&text[0]);
  EXPECT_STREQ(text.c_str(), "<__Role__>host</__Role__>\n<__MeetingId__>5</__MeetingId__>\n");
}

}  // namespace
