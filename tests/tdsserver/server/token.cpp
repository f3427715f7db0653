// Writing reply tokens and reading request fields.
#include "token.h"

#include "config.h"

namespace tdsserver {

void MessageToken(Writer& w, bool error, std::int32_t number, std::uint8_t state,
                  std::uint8_t severity, std::u16string_view text, std::int32_t line) {
    w.U8(error ? token::kError : token::kInfo);
    const std::size_t lenAt = w.Size();
    w.U16(0);
    w.U32(std::uint32_t(number));
    w.U8(state);
    w.U8(severity);
    w.UsVarchar(text.substr(0, 0xFFFF));
    w.BVarchar(kServerName);
    w.BVarchar(u"");
    w.U32(std::uint32_t(line));
    w.PatchU16(lenAt, std::uint16_t(w.Size() - lenAt - 2));
}

void Error(Writer& w, std::int32_t number, std::uint8_t state, std::uint8_t severity,
           std::u16string_view text, std::int32_t line) {
    MessageToken(w, true, number, state, severity, text, line);
}

void Info(Writer& w, std::int32_t number, std::uint8_t state, std::uint8_t severity,
          std::u16string_view text, std::int32_t line) {
    MessageToken(w, false, number, state, severity, text, line);
}

void Done(Writer& w, std::uint16_t status, std::uint16_t curcmd, std::uint64_t rows) {
    w.U8(token::kDone);
    w.U16(status);
    w.U16(curcmd);
    w.U64(rows);
}

void EnvChangeString(Writer& w, std::uint8_t type, std::u16string_view now,
                     std::u16string_view before) {
    w.U8(token::kEnvChange);
    w.U16(std::uint16_t(1 + 1 + 2 * now.size() + 1 + 2 * before.size()));
    w.U8(type);
    w.BVarchar(now);
    w.BVarchar(before);
}

void EnvChangeBytes(Writer& w, std::uint8_t type, const std::vector<std::uint8_t>& now,
                    const std::vector<std::uint8_t>& before) {
    w.U8(token::kEnvChange);
    w.U16(std::uint16_t(1 + 1 + now.size() + 1 + before.size()));
    w.U8(type);
    w.U8(std::uint8_t(now.size()));
    w.Bytes(now.data(), now.size());
    w.U8(std::uint8_t(before.size()));
    w.Bytes(before.data(), before.size());
}

void ColMetadata(Writer& w, const std::vector<Column>& cols) {
    w.U8(token::kColMetadata);
    w.U16(std::uint16_t(cols.size()));
    for (const Column& c : cols) {
        w.U32(0);  // user type
        if (c.isInt) {
            w.U16(0x0000);
            w.U8(0x38);  // INT4
        } else {
            w.U16(0x0001);  // nullable
            w.U8(0xE7);     // NVARCHAR
            w.U16(std::uint16_t(c.maxChars * 2));
            w.Bytes(kCollation, 5);
        }
        w.BVarchar(c.name);
    }
}

void Row(Writer& w, const std::vector<Cell>& cells) {
    w.U8(token::kRow);
    for (const Cell& cell : cells) {
        if (const auto* i = std::get_if<std::int32_t>(&cell)) {
            w.U32(std::uint32_t(*i));
        } else {
            const auto& s = std::get<std::u16string>(cell);
            w.U16(std::uint16_t(s.size() * 2));
            w.Ucs2(s);
        }
    }
}

std::uint16_t Le16(const std::vector<std::uint8_t>& p, std::size_t off) {
    return std::uint16_t(p[off] | (p[off + 1] << 8));
}

std::uint32_t Le32(const std::vector<std::uint8_t>& p, std::size_t off) {
    return std::uint32_t(Le16(p, off)) | (std::uint32_t(Le16(p, off + 2)) << 16);
}

std::u16string ReadUcs2(const std::vector<std::uint8_t>& p, std::size_t off, std::size_t chars) {
    std::u16string s;
    for (std::size_t i = 0; i < chars; ++i) {
        s += char16_t(p[off + 2 * i] | (p[off + 2 * i + 1] << 8));
    }
    return s;
}

}  // namespace tdsserver
