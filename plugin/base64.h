#pragma once
// Base64 (RFC 4648, with padding): the plugin's state is text, its pattern
// file bytes.

#include <string>

namespace velmor {

std::string base64Encode(const std::string& bytes);
// False (and `bytes` untouched) for anything that is not base64; white
// space is skipped.
bool base64Decode(const std::string& text, std::string& bytes);

}  // namespace velmor
