#pragma once
// The account server's side of the starter's requests: the three GET requests
// under /as/wapi/ and the tag fields read from their replies. The download and
// report steps build their requests from these; the test server answers them.
#include <string>

namespace AccountServer {

constexpr int kDefaultPort = 8889;

constexpr const char kClientSizePath[] = "/as/wapi/get_client_size";
constexpr const char kClientPath[] = "/as/wapi/get_client";
constexpr const char kInstallationReportPath[] = "/as/wapi/ssi";

constexpr int kClientType = 0;
constexpr const char kClientPlatform[] = "pc";

// Formats with the path, the client type and the platform (or the starter id).
constexpr const char kClientSizeQueryFormat[] = "%s?client_type=%d&xml_format=Y&client=%s";
constexpr const char kClientQueryFormat[] = "%s?client_type=%d&client=%s";
constexpr const char kInstallationReportQueryFormat[] = "%s?sid=%s";

// The page fetcher adds this to every WinInet request (seconds since 1970).
constexpr const char kCacheBusterParameter[] = "rdm";

constexpr const char kClientSizeOpeningTag[] = "<__ClientSize__>";
constexpr const char kClientSizeClosingTag[] = "</__ClientSize__>";
constexpr const char kUserInputOpeningTag[] = "<__UserInput__>";
constexpr const char kUserInputClosingTag[] = "</__UserInput__>";

// /as/wapi/get_client_size?client_type=0&xml_format=Y&client=pc
std::string ClientSizeRequest();
// /as/wapi/get_client?client_type=0&client=pc
std::string ClientRequest();
// /as/wapi/ssi?sid=<sid>, the identifier exactly as stored.
std::string InstallationReportRequest(const char* starter_sid);

// The package size of a get_client_size reply: the <__ClientSize__> field, or
// the whole reply when it has none, read as atoi reads (so letters give 0 and
// "-5" gives -5). A number that a 32-bit signed count cannot hold is no size
// at all and gives 0, never a saturated or wrapped count.
int ParseClientSize(const char* reply);

}  // namespace AccountServer
