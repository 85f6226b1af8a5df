#include "plugin/base64.h"

#include <cstdint>

namespace velmor {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string base64Encode(const std::string& bytes) {
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
        text += kAlphabet[v >> 18];
        text += kAlphabet[(v >> 12) & 63];
        text += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
    }
    return text;
}

bool base64Decode(const std::string& text, std::string& bytes) {
    std::string out;
    uint32_t v = 0;
    int bits = 0, padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        const int d = valueOf(c);
        if (d < 0 || padding > 0) return false;
        v = (v << 6) | static_cast<uint32_t>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((v >> bits) & 255);
        }
    }
    if (padding > 2 || bits >= 6) return false;
    bytes.swap(out);
    return true;
}

}  // namespace velmor
