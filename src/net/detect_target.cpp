#include "net/detect_target.h"

#include <cstring>

#include "base/text.h"
#include "net/maker_sites.h"

namespace ksnet {

DetectTarget BuildDetectTarget(const char* host, int port, const char* url_path) {
  const char* h = host ? host : "";
  const char* path = url_path ? url_path : "";
  DetectTarget target;
  if (port == 80) {
    target.query_url = ks::Format("http://%s%s", h, path);
    target.host_text = ks::Format("http://%s", h);
  } else if (port == 443) {
    target.query_url = ks::Format("https://%s%s", h, path);
    target.host_text = ks::Format("https://%s", h);
  } else {
    target.query_url = ks::Format("http://%s:%d%s", h, port, path);
    target.host_text = ks::Format("http://%s:%d", h, port);
  }
  for (const char* domain : kMakerDomains) {
    if (strstr(h, domain) != nullptr) {
      target.maker_domain = true;
      target.host_text = kProbeSite;
      target.query_url = ks::Format("%s%s", kProbeSite, path);
      break;
    }
  }
  return target;
}

}  // namespace ksnet
