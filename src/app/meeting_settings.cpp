#include "app/meeting_settings.h"

#include "app/query_map.h"
#include "base/tag_field.h"

namespace {

struct QueryField {
  const char* name;
  const char* key;
};

// Some keys feed two fields: both get the value.
const QueryField kQueryFields[] = {
    {"AccountServerIP", "account_server_ip"},
    {"AccountServerPort", "port"},
    {"MeetingPassword", "meeting_password"},
    {"MeetingId", "meeting_id"},
    {"Role", "role"},
    {"Version", "version"},
    {"Publisher", "publisher_name"},
    {"AboutURL", "publisher_url"},
    {"AttendeeName", "name"},
    {"Email", "email"},
    {"AttendeeEmail", "email"},
    {"UserPassword", "user_password"},
    {"PassThrough", "pass_through"},
    {"ClientName", "client_name"},
    {"PublisherURL", "publisher_url"},
    {"PublisherName", "publisher_name"},
    {"OEMId", "oem_id"},
    {"OEMCompanyName", "oem_company_name"},
    {"OEMCompanyURL", "oem_company_url"},
    {"PoweredByFieldName", "powered_by_field_name"},
    {"MainIcon", "main_icon"},
    {"MinorIcon", "minor_icon"},
    {"LoginTitle", "login_title"},
    {"IsPanelist", "plst"},
};

void AppendField(std::string& text, const char* name, const std::string& value) {
  text += Utility::OpeningTag(name);
  text += value;
  text += Utility::ClosingTag(name);
}

}  // namespace

std::string BuildSettingsTextFromQuery(const QueryMap& query) {
  std::string text;
  for (const QueryField& field : kQueryFields) AppendField(text, field.name, query.GetValue(field.key));
  // A missing key hides nothing and recognises the manufacturer.
  AppendField(text, "ClientHideServerAddress", query.GetValue("client_hide_server_address") == "Y" ? "Y" : "N");
  AppendField(text, "RecognizeManufacturer", query.GetValue("recognize_manufacturer") == "N" ? "N" : "Y");
  return text;
}
