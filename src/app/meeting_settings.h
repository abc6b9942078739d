#pragma once
// Turns the deciphered meeting query into a settings text: every field of the
// vocabulary that a query key feeds, in the vocabulary's order, then the two
// yes/no fields.
#include <string>

class QueryMap;

std::string BuildSettingsTextFromQuery(const QueryMap& query);
