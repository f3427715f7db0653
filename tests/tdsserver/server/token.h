// Wire encoding: the tokens a reply is made of (ERROR/INFO, DONE, ENVCHANGE, COLMETADATA, ROW,
// LOGINACK's parts) written into a Writer, and the little-endian reads of a client's request.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tdsserver {

class Writer {
  public:
    void U8(std::uint8_t v) { buf_.push_back(v); }
    void U16(std::uint16_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void U64(std::uint64_t v) {
        U32(std::uint32_t(v));
        U32(std::uint32_t(v >> 32));
    }
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    void Ucs2(std::u16string_view s) {
        for (char16_t c : s)
            U16(c);
    }
    void BVarchar(std::u16string_view s) {
        U8(std::uint8_t(s.size()));
        Ucs2(s);
    }
    void UsVarchar(std::u16string_view s) {
        U16(std::uint16_t(s.size()));
        Ucs2(s);
    }
    std::size_t Size() const { return buf_.size(); }
    void PatchU16(std::size_t at, std::uint16_t v) {
        buf_[at] = v & 0xFF;
        buf_[at + 1] = v >> 8;
    }
    std::vector<std::uint8_t>& Data() { return buf_; }

  private:
    std::vector<std::uint8_t> buf_;
};

namespace token {
constexpr std::uint8_t kColMetadata = 0x81, kError = 0xAA, kInfo = 0xAB, kLoginAck = 0xAD,
                       kRow = 0xD1, kEnvChange = 0xE3, kSspi = 0xED, kDone = 0xFD;
}

namespace done {
constexpr std::uint16_t kMore = 0x01, kError = 0x02, kCount = 0x10, kAttention = 0x20;
}

// What a statement's DONE token carries.
struct Outcome {
    std::uint16_t status = 0;
    std::uint16_t curcmd = 0;
    std::uint64_t rows = 0;
};

// SQL_Latin1_General_CP1_CI_AS, the server collation, as TDS carries it.
inline constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

// ERROR (class > 10) or INFO token.
void MessageToken(Writer& w, bool error, std::int32_t number, std::uint8_t state,
                  std::uint8_t severity, std::u16string_view text, std::int32_t line = 1);
void Error(Writer& w, std::int32_t number, std::uint8_t state, std::uint8_t severity,
           std::u16string_view text, std::int32_t line = 1);
void Info(Writer& w, std::int32_t number, std::uint8_t state, std::uint8_t severity,
          std::u16string_view text, std::int32_t line = 1);

void Done(Writer& w, std::uint16_t status, std::uint16_t curcmd = 0, std::uint64_t rows = 0);

void EnvChangeString(Writer& w, std::uint8_t type, std::u16string_view now,
                     std::u16string_view before);
void EnvChangeBytes(Writer& w, std::uint8_t type, const std::vector<std::uint8_t>& now,
                    const std::vector<std::uint8_t>& before);

struct Column {
    std::u16string name;
    bool isInt = false;
    std::uint16_t maxChars = 128;
};
void ColMetadata(Writer& w, const std::vector<Column>& cols);

using Cell = std::variant<std::int32_t, std::u16string>;
void Row(Writer& w, const std::vector<Cell>& cells);

// Little-endian reads from a client's payload; callers check the bounds.
std::uint16_t Le16(const std::vector<std::uint8_t>& p, std::size_t off);
std::uint32_t Le32(const std::vector<std::uint8_t>& p, std::size_t off);
std::u16string ReadUcs2(const std::vector<std::uint8_t>& p, std::size_t off, std::size_t chars);

}  // namespace tdsserver
