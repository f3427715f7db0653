#include "transcript.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace tdsfiles {

std::string ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    auto cont = [&](std::size_t k) -> char32_t {
        return k < text.size() ? char32_t(static_cast<unsigned char>(text[k]) & 0x3F) : 0;
    };
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c;
        if (b < 0x80) {
            c = b;
            i += 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = (char32_t(b & 0x1F) << 6) | cont(i + 1);
            i += 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = (char32_t(b & 0x0F) << 12) | (cont(i + 1) << 6) | cont(i + 2);
            i += 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = (char32_t(b & 0x07) << 18) | (cont(i + 1) << 12) | (cont(i + 2) << 6) | cont(i + 3);
            i += 4;
        } else {
            c = 0xFFFD;
            i += 1;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

std::string FormatTranscriptRecord(long long number, const std::string& login,
                                   std::u16string_view text) {
    std::string cleanLogin = login;
    for (char& c : cleanLogin) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    const std::string body = ToUtf8(text);
    return "BATCH " + std::to_string(number) + " BYTES " + std::to_string(body.size()) + " LOGIN " +
           cleanLogin + "\n" + body + "\n";
}

namespace {
std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

std::vector<TranscriptRecord> ReadTranscript(const std::filesystem::path& file) {
    const std::string data = ReadAll(file);
    std::vector<TranscriptRecord> out;
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t eol = data.find('\n', pos);
        if (eol == std::string::npos)
            break;
        std::istringstream header(data.substr(pos, eol - pos));
        std::string batchWord, bytesWord, loginWord;
        TranscriptRecord rec;
        std::size_t len = 0;
        if (!(header >> batchWord >> rec.number >> bytesWord >> len >> loginWord) ||
            batchWord != "BATCH" || bytesWord != "BYTES" || loginWord != "LOGIN") {
            break;
        }
        std::getline(header, rec.login);
        if (!rec.login.empty() && rec.login[0] == ' ')
            rec.login.erase(0, 1);
        const std::size_t body = eol + 1;
        if (body + len + 1 > data.size())
            break;
        rec.text = FromUtf8(std::string_view(data).substr(body, len));
        out.push_back(std::move(rec));
        pos = body + len + 1;
    }
    return out;
}

namespace {

// A field of the databases file: its separators and the escape character itself escaped.
std::string EscapeField(std::u16string_view field) {
    std::string out;
    for (char c : ToUtf8(field)) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The other way; a backslash before anything else (which the writer never produces) is kept.
std::u16string UnescapeField(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        switch (field[++i]) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            default:
                out += '\\';
                out += field[i];
        }
    }
    return FromUtf8(out);
}

}  // namespace

std::string FormatDatabases(const std::vector<std::vector<std::u16string>>& rows) {
    std::string out;
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            if (i)
                out += '\t';
            out += EscapeField(row[i]);
        }
        out += '\n';
    }
    return out;
}

std::vector<std::vector<std::u16string>> ParseDatabases(std::string_view text) {
    std::vector<std::vector<std::u16string>> rows;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        const std::string_view line = text.substr(pos, eol - pos);
        std::vector<std::u16string> row;
        std::size_t start = 0;
        while (true) {
            const std::size_t tab = line.find('\t', start);
            row.push_back(UnescapeField(line.substr(
                start, tab == std::string_view::npos ? std::string_view::npos : tab - start)));
            if (tab == std::string_view::npos)
                break;
            start = tab + 1;
        }
        rows.push_back(std::move(row));
        pos = eol + 1;
    }
    return rows;
}

std::vector<std::vector<std::u16string>> ReadDatabases(const std::filesystem::path& file) {
    return ParseDatabases(ReadAll(file));
}

}  // namespace tdsfiles
