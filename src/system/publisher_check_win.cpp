#include "system/publisher_check_win.h"

#include <windows.h>

#include <string>

#include "base/log_api.h"
#include "base/transient_retry_win.h"
#include "base/wide_text.h"
#include "system/authenticode_win.h"
#include "system/own_signer_win.h"

namespace {

const char kOperation[] = "PublisherCheck::MayStart";

}  // namespace

namespace PublisherCheck {

bool MayStart(const char* path, ks::UniqueHandle* hold) {
  hold->reset();
  const OwnSigner* own = nullptr;
  switch (OwnSigner::BeginCheck(kOperation, path, &own)) {
    case OwnSigner::Start::kLetThrough:
      return true;
    case OwnSigner::Start::kRefuse:
      KS_LOG(3, kOperation, "Refused %s (starter not verified): %s", path, own->why().c_str());
      return false;
    case OwnSigner::Start::kCheck:
      break;
  }
  std::wstring wide_path = Widen(path);
  ks::UniqueHandle file;
  ks::RetryTransient(kOperation, "open", wide_path.c_str(), [&] {
    file.reset(CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
  });
  if (!file) {
    KS_LOG(3, kOperation, "Refused %s (cannot be held): error %lu", path, static_cast<unsigned long>(GetLastError()));
    return false;
  }
  ks::UniqueCertificate signer;
  LONG result = ks::VerifyFileSignature(file.get(), wide_path, &signer);
  const char* refusal = nullptr;
  if (result != 0) {
    refusal = "signature not verified";
  } else if (!signer) {
    refusal = "no signer";
  } else {
    switch (ks::MatchSigner(own->certificate(), signer.get())) {
      case ks::SignerMatch::kOtherSubject:
        refusal = "another publisher";
        break;
      case ks::SignerMatch::kOtherKey:
        refusal = "another publisher's key";
        break;
      case ks::SignerMatch::kSame:
        break;
    }
  }
  if (refusal != nullptr) {
    KS_LOG(3, kOperation, "Refused %s (%s): WinVerifyTrust() = 0x%08lX, signer = %s, starter's signer = %s", path,
           refusal, static_cast<unsigned long>(result), ks::CertificateSubject(signer.get()).c_str(),
           ks::CertificateSubject(own->certificate()).c_str());
    return false;
  }
  KS_LOG(0, kOperation, "Publisher checked: %s, signer = %s", path, ks::CertificateSubject(signer.get()).c_str());
  *hold = std::move(file);
  return true;
}

}  // namespace PublisherCheck
