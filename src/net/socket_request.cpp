#include "net/socket_request.h"

#include "base/text.h"

namespace ksnet {

std::string BuildSocketRequest(const char* host, int port, const char* path, const std::string& extra_lines) {
  const char* request_path = (path == nullptr || path[0] == '\0') ? "/" : path;
  std::string request = "GET ";
  request += request_path;
  request += " HTTP/1.0\r\n";
  request +=
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/vnd.ms-powerpoint, "
      "application/vnd.ms-excel, application/msword, application/x-shockwave-flash, */*\r\n";
  request += "Accept-Language: en-us\r\n";
  request += "Pragma: no-cache\r\n";
  request += "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; .NET CLR 1.0.3705; .NET CLR 1.1.4322)\r\n";
  request += ks::Format("Host: %s:%d\r\n", host ? host : "", port);
  request += "Connection: Keep-Alive\r\n";
  request += extra_lines;
  request += "\r\n";
  return request;
}

}  // namespace ksnet
