#include "system/own_signer_win.h"

#include <atomic>
#include <string_view>

#include "base/log_api.h"
#include "base/mapped_file_win.h"
#include "pe/pe_layout.h"

namespace {

const char kOperation[] = "PublisherCheck::LearnOwnPublisher";
// Far more than any starter; only a bound for mapping it whole.
const size_t kMaxOwnFileSize = 256 * 1024 * 1024;

std::atomic<bool> g_unchecked_logged(false);

std::wstring OwnPath() {
  wchar_t path[512];
  DWORD length = GetModuleFileNameW(nullptr, path, 512);
  return length > 0 && length < 512 ? std::wstring(path, length) : std::wstring();
}

// Machines with the strict signature check refuse a file whose signature is
// followed by other bytes in its certificate table, which is where stamping
// without --certificate puts the settings.
std::string StampHint(std::string_view image, const PeLayout& layout) {
  if (!BytesFollowSignature(image, layout)) return std::string();
  return "; its settings were stamped after its signature, which systems with the strict signature check "
         "(EnableCertPaddingCheck) refuse: stamp the signed starter with --certificate";
}

}  // namespace

const OwnSigner& OwnSigner::Get() {
  static const OwnSigner* own = [] {
    OwnSigner* learnt = new OwnSigner();
    learnt->Learn();
    return learnt;
  }();
  return *own;
}

void OwnSigner::Learn() {
  std::wstring path = OwnPath();
  ks::MappedFile file;
  if (path.empty() || !file.Open(path.c_str(), kMaxOwnFileSize)) {
    // Without its file nothing shows that it is unsigned.
    why_ = ks::Format("its own file cannot be read (error %lu)", static_cast<unsigned long>(GetLastError()));
    KS_LOG(3, kOperation, "Own signature not verified: %s", why_.c_str());
    return;
  }
  std::string_view image(reinterpret_cast<const char*>(file.data()), file.size());
  PeLayout layout;
  std::string error;
  if (!ParsePeLayout(image, layout, error)) {
    why_ = "its certificate table cannot be read: " + error;
    KS_LOG(3, kOperation, "Own signature not verified: %s", why_.c_str());
    return;
  }
  // Only the table's absence makes a copy unsigned: a signature that reads
  // as none still expects a publisher, and one that cannot be met refuses.
  if (layout.certificate_table_size == 0) {
    state_ = State::kUnsigned;
    return;
  }
  LONG result = ks::VerifyFileSignature(file.file(), path, &certificate_);
  if (result == 0 && certificate_) {
    state_ = State::kVerified;
    KS_LOG(0, kOperation, "Own signature verified, signer = %s", ks::CertificateSubject(certificate_.get()).c_str());
    return;
  }
  why_ = ks::Format("WinVerifyTrust() = 0x%08lX, signer = %s", static_cast<unsigned long>(result),
                    ks::CertificateSubject(certificate_.get()).c_str()) +
         StampHint(image, layout);
  certificate_.reset();
  KS_LOG(3, kOperation, "Own signature not verified: %s", why_.c_str());
}

OwnSigner::Start OwnSigner::BeginCheck(const char* operation, const char* path, const OwnSigner** own) {
  *own = &Get();
  switch ((*own)->state()) {
    case State::kUnsigned:
      if (!g_unchecked_logged.exchange(true))
        KS_LOG(0, operation, "Publisher of %s not checked: the starter is not signed (no certificate table)", path);
      return Start::kLetThrough;
    case State::kVerified:
      return Start::kCheck;
    case State::kNotVerified:
      break;
  }
  return Start::kRefuse;
}
