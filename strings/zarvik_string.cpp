// Zarvik_string: every operation works inside the fixed array or a stack buffer of the same size.
#include "strings/zarvik_string.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const size_t kMaxText = Zarvik_string::CAPACITY - 1;
const size_t kMaxBlockPart = 255;  // getCommandBlock builds name and rest in 256-byte buffers

// Length of `text`, but never more than `limit` (never reads past `limit` bytes).
size_t BoundedLength(const char *text, size_t limit) {
    if (!text) return 0;
    const void *end = std::memchr(text, 0, limit);
    return end ? static_cast<size_t>(static_cast<const char *>(end) - text) : limit;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\b'; }

}  // namespace

Zarvik_string::Zarvik_string() { text_[0] = 0; }

Zarvik_string::Zarvik_string(const Zarvik_string &other) { std::memcpy(text_, other.text_, CAPACITY); }

Zarvik_string::~Zarvik_string() {}

// Copies at most kMaxText bytes of `text`; a source inside this object is handled by memmove.
void Zarvik_string::assignText(const char *text) {
    size_t n = BoundedLength(text, kMaxText);
    if (n) std::memmove(text_, text, n);
    text_[n] = 0;
}

// Appends as much of `text` as fits; the source may lie inside this object.
void Zarvik_string::appendText(const char *text) {
    size_t len = std::strlen(text_);
    size_t room = kMaxText - len;
    size_t n = BoundedLength(text, room);
    if (n) std::memmove(text_ + len, text, n);
    text_[len + n] = 0;
}

void Zarvik_string::insertText(const char *text, unsigned int pos) {
    char tail[CAPACITY];
    char piece[CAPACITY];
    size_t len = std::strlen(text_);
    if (pos > len) pos = static_cast<unsigned int>(len);
    size_t pieceLen = BoundedLength(text, kMaxText);
    std::memcpy(piece, text, pieceLen);  // the text may point into this object
    piece[pieceLen] = 0;
    std::memcpy(tail, text_ + pos, len - pos + 1);
    text_[pos] = 0;
    appendText(piece);
    appendText(tail);
}

void Zarvik_string::operator=(Zarvik_string &other) {
    if (this != &other) std::memcpy(text_, other.text_, CAPACITY);
}
void Zarvik_string::operator=(const Zarvik_string &other) {
    if (this != &other) std::memcpy(text_, other.text_, CAPACITY);
}
void Zarvik_string::operator=(char *text) { assignText(text); }
void Zarvik_string::operator=(const char *text) { assignText(text); }
void Zarvik_string::operator=(int value) { set(value); }
void Zarvik_string::operator=(float value) { set(value); }

void Zarvik_string::operator+=(Zarvik_string &other) {
    const Zarvik_string &c = other;
    *this += c;
}
void Zarvik_string::operator+=(const Zarvik_string &other) {
    Zarvik_string copy(other);  // whole operand first, so s += s doubles s
    appendText(copy.text_);
}
void Zarvik_string::operator+=(char *text) { appendText(text); }
void Zarvik_string::operator+=(const char *text) { appendText(text); }
void Zarvik_string::operator+=(int value) { add(value); }
void Zarvik_string::operator+=(float value) { add(value); }

Zarvik_string Zarvik_string::operator+(Zarvik_string &other) const {
    return *this + static_cast<const Zarvik_string &>(other);
}
Zarvik_string Zarvik_string::operator+(const Zarvik_string &other) const {
    Zarvik_string result(*this);
    result.appendText(other.text_);
    return result;
}
Zarvik_string Zarvik_string::operator+(char *text) const {
    return *this + static_cast<const char *>(text);
}
Zarvik_string Zarvik_string::operator+(const char *text) const {
    Zarvik_string result(*this);
    result.appendText(text);
    return result;
}

bool Zarvik_string::operator==(Zarvik_string &other) const { return std::strcmp(text_, other.text_) == 0; }
bool Zarvik_string::operator==(const Zarvik_string &other) const {
    return std::strcmp(text_, other.text_) == 0;
}
bool Zarvik_string::operator==(char *text) const { return *this == static_cast<const char *>(text); }
bool Zarvik_string::operator==(const char *text) const {
    return std::strcmp(text_, text ? text : "") == 0;
}

bool Zarvik_string::operator!=(Zarvik_string &other) const { return *this != other.text_; }
bool Zarvik_string::operator!=(const Zarvik_string &other) const { return *this != other.text_; }
bool Zarvik_string::operator!=(char *text) const { return *this != static_cast<const char *>(text); }
bool Zarvik_string::operator!=(const char *text) const {
    if (!text) text = "";
    // Compare the own text's bytes; the other's terminator counts, and reading stops there.
    for (size_t i = 0; text_[i]; ++i) {
        if (text_[i] != text[i]) return true;
    }
    return false;
}

bool Zarvik_string::set(char *text) { assignText(text); return true; }
bool Zarvik_string::set(const char *text) { assignText(text); return true; }
bool Zarvik_string::set(Zarvik_string other) { assignText(other.text_); return true; }
bool Zarvik_string::set(int value) {
    std::snprintf(text_, CAPACITY, "%d", value);
    return true;
}
bool Zarvik_string::set(float value) {
    std::snprintf(text_, CAPACITY, "%f", static_cast<double>(value));
    return true;
}

bool Zarvik_string::add(char *text) { appendText(text); return true; }
bool Zarvik_string::add(const char *text) { appendText(text); return true; }
bool Zarvik_string::add(Zarvik_string other) { appendText(other.text_); return true; }
bool Zarvik_string::add(int value) {
    char buf[CAPACITY];
    std::snprintf(buf, sizeof buf, "%d", value);
    appendText(buf);
    return true;
}
bool Zarvik_string::add(float value) {
    char buf[CAPACITY];
    std::snprintf(buf, sizeof buf, "%f", static_cast<double>(value));
    appendText(buf);
    return true;
}

bool Zarvik_string::insert(char *text, unsigned int pos) { insertText(text, pos); return true; }
bool Zarvik_string::insert(const char *text, unsigned int pos) { insertText(text, pos); return true; }
bool Zarvik_string::insert(Zarvik_string other, unsigned int pos) {
    insertText(other.text_, pos);
    return true;
}

int Zarvik_string::toInt() const {
    char *end = nullptr;
    long v = std::strtol(text_, &end, 10);
    if (end == text_) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

float Zarvik_string::toFloat() const {
    char *end = nullptr;
    float v = std::strtof(text_, &end);
    return end == text_ ? 0.0f : v;
}

bool Zarvik_string::CompareStrings(char *text) const {
    return CompareStrings(static_cast<const char *>(text));
}
bool Zarvik_string::CompareStrings(const char *text) const {
    if (!text) return true;
    for (size_t i = 0; text[i]; ++i) {
        if (text_[i] != text[i]) return false;  // our terminator ends it before we read past
    }
    return true;
}
bool Zarvik_string::CompareStrings(Zarvik_string other) const { return CompareStrings(other.text_); }

void Zarvik_string::HideHoles() {
    size_t out = 0;
    for (size_t i = 0; text_[i]; ++i) {
        if (!IsBlank(text_[i])) text_[out++] = text_[i];
    }
    text_[out] = 0;
}

// One pass gives the same text as removing one offending character at a time and rescanning:
// the first character always stays, later backspaces go, and a space goes when the character
// kept before it is a space.
void Zarvik_string::NoTabs() {
    if (!text_[0]) return;
    size_t out = 1;
    for (size_t i = 1; text_[i]; ++i) {
        char c = text_[i];
        if (c == '\b') continue;
        if (c == ' ' && text_[out - 1] == ' ') continue;
        text_[out++] = c;
    }
    text_[out] = 0;
}

bool Zarvik_string::getCommandBlock(Zarvik_string *name, Zarvik_string *rest) {
    HideHoles();
    if (text_[0] != '[') return false;
    const char *close = std::strchr(text_ + 1, ']');
    if (!close) return false;
    size_t nameLen = static_cast<size_t>(close - (text_ + 1));
    const char *restStart = close + 1;
    if (*restStart) ++restStart;  // the one character after ']' is dropped, whatever it is
    size_t restLen = std::strlen(restStart);
    if (nameLen == 0 || restLen == 0) return false;
    if (nameLen > kMaxBlockPart) nameLen = kMaxBlockPart;
    if (restLen > kMaxBlockPart) restLen = kMaxBlockPart;

    char nameBuf[kMaxBlockPart + 1];
    char restBuf[kMaxBlockPart + 1];
    std::memcpy(nameBuf, text_ + 1, nameLen);
    nameBuf[nameLen] = 0;
    std::memcpy(restBuf, restStart, restLen);
    restBuf[restLen] = 0;
    if (name) name->assignText(nameBuf);
    if (rest) rest->assignText(restBuf);
    return true;
}

bool Zarvik_string::DivideTwoParameters(Zarvik_string *first, Zarvik_string *second) const {
    if (!text_[0]) return false;
    Zarvik_string a;
    Zarvik_string b;
    const char *space = std::strchr(text_, ' ');
    if (!space) {
        a.assignText(text_);
        b.assignText(text_);
    } else {
        size_t n = static_cast<size_t>(space - text_);
        std::memcpy(a.text_, text_, n);
        a.text_[n] = 0;
        b.assignText(space[1] ? space + 1 : text_);
    }
    // Outputs are written last, from copies, so they may be this object itself.
    if (first) *first = a;
    if (second) *second = b;
    return true;
}

void Zarvik_string::clear() { text_[0] = 0; }

char *Zarvik_string::getChars() { return text_; }
const char *Zarvik_string::getChars() const { return text_; }
