#ifndef QUILRUN_CACHE_RECORDMAPS_H
#define QUILRUN_CACHE_RECORDMAPS_H

#include <string>
#include <unordered_map>

namespace quilrun {

// Report texts by text number. Adding a number already present keeps the
// stored text.
using TextMap = std::unordered_map<long long, std::string>;

// Strings by string key, compared byte for byte: messages by message code,
// properties by name. Adding a key already present keeps the stored value.
using StringMap = std::unordered_map<std::string, std::string>;

}  // namespace quilrun

#endif
