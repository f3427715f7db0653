#include "tsql.h"

#include <optional>

namespace tsql {
namespace {

enum class Kind { Word, QuotedName, String, Number, Punct, End };

struct Token {
    Kind kind = Kind::End;
    std::u16string text;  // decoded: '' and ]] undone, brackets and quotes removed
    std::int32_t line = 1;
    // An identifier SQL Server's scanner rejects (empty, too long). The parse goes on past it,
    // but the batch does not run.
    std::optional<SyntaxError> problem;
};

constexpr std::size_t kMaxIdentifier = 128;  // sysname

struct LexError {
    SyntaxError first;
    std::optional<SyntaxError> second;
};

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v';
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsWordStart(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'@' ||
           c == u'#' || (c >= 0x80 && c != 0xA0 && c != 0xFEFF);
}
bool IsWordPart(char16_t c) {
    return IsWordStart(c) || IsDigit(c) || c == u'$';
}

char16_t Fold(char16_t c) {
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

bool SameWord(const std::u16string& a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

SyntaxError Error(std::int32_t number, std::u16string text, std::int32_t line) {
    SyntaxError e;
    e.number = number;
    e.text = std::move(text);
    e.line = line;
    return e;
}

SyntaxError NearError(const std::u16string& near, std::int32_t line) {
    return Error(102, u"Incorrect syntax near '" + near + u"'.", line);
}

// What is wrong with an identifier as written, if anything: SQL Server refuses an empty delimited
// one ([] or "") and any longer than a sysname, counted after ]] and "" are undone.
std::optional<SyntaxError> IdentifierProblem(Kind kind, const std::u16string& name,
                                             std::int32_t line) {
    if (kind == Kind::QuotedName && name.empty()) {
        SyntaxError e = Error(1038,
                              u"An object or column name is missing or empty. For SELECT INTO "
                              u"statements, verify each column has a name. For other statements, "
                              u"look for empty alias names. Aliases defined as \"\" or [] are not "
                              u"allowed. Change the alias to a valid name.",
                              line);
        e.state = 4;
        return e;
    }
    if ((kind == Kind::QuotedName || kind == Kind::Word) && name.size() > kMaxIdentifier) {
        SyntaxError e =
            Error(103,
                  u"The identifier that starts with '" + name.substr(0, kMaxIdentifier) +
                      u"' is too long. Maximum length is 128.",
                  line);
        e.state = 4;
        return e;
    }
    return std::nullopt;
}

// Splits the batch into tokens; stops at the first lexical error, keeping what came before it.
std::vector<Token> Lex(const std::u16string& s, std::optional<LexError>& error) {
    std::vector<Token> out;
    std::int32_t line = 1;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto closeQuoted = [&](char16_t close, Kind kind, std::size_t start, bool reportNear) {
        // start points just after the opening quote; a doubled closing character stands for one.
        std::u16string value;
        const std::int32_t startLine = line;
        std::size_t j = start;
        while (j < n) {
            if (s[j] == close) {
                if (j + 1 < n && s[j + 1] == close) {
                    value += close;
                    j += 2;
                    continue;
                }
                out.push_back({kind, value, startLine, IdentifierProblem(kind, value, startLine)});
                i = j + 1;
                return true;
            }
            if (s[j] == u'\n')
                ++line;
            value += s[j++];
        }
        LexError e{
            Error(105, u"Unclosed quotation mark after the character string '" + value + u"'.",
                  line),
            std::nullopt};
        if (reportNear)
            e.second = NearError(value, line);
        error = e;
        i = n;
        return false;
    };
    while (i < n) {
        const char16_t c = s[i];
        if (IsSpace(c)) {
            if (c == u'\n')
                ++line;
            ++i;
        } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
            while (i < n && s[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
            int depth = 0;
            bool closed = false;
            while (i < n) {
                if (s[i] == u'/' && i + 1 < n && s[i + 1] == u'*') {
                    ++depth;
                    i += 2;
                } else if (s[i] == u'*' && i + 1 < n && s[i + 1] == u'/') {
                    i += 2;
                    if (--depth == 0) {
                        closed = true;
                        break;
                    }
                } else {
                    if (s[i] == u'\n')
                        ++line;
                    ++i;
                }
            }
            if (!closed) {
                error = LexError{Error(113, u"Missing end comment mark '*/'.", line), std::nullopt};
                return out;
            }
        } else if ((c == u'N' || c == u'n') && i + 1 < n && s[i + 1] == u'\'') {
            if (!closeQuoted(u'\'', Kind::String, i + 2, true))
                return out;
        } else if (c == u'\'') {
            if (!closeQuoted(u'\'', Kind::String, i + 1, true))
                return out;
        } else if (c == u'[') {
            if (!closeQuoted(u']', Kind::QuotedName, i + 1, false))
                return out;
        } else if (c == u'"') {
            if (!closeQuoted(u'"', Kind::QuotedName, i + 1, false))
                return out;
        } else if (IsWordStart(c)) {
            std::size_t j = i;
            while (j < n && IsWordPart(s[j]))
                ++j;
            std::u16string word = s.substr(i, j - i);
            auto problem = IdentifierProblem(Kind::Word, word, line);
            out.push_back({Kind::Word, std::move(word), line, std::move(problem)});
            i = j;
        } else if (IsDigit(c)) {
            std::size_t j = i;
            while (j < n && (IsDigit(s[j]) || s[j] == u'.'))
                ++j;
            out.push_back({Kind::Number, s.substr(i, j - i), line, std::nullopt});
            i = j;
        } else {
            out.push_back({Kind::Punct, std::u16string(1, c), line, std::nullopt});
            ++i;
        }
    }
    return out;
}

class Parser {
  public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    // Returns false at the first syntax error (error() says where).
    bool Run(std::vector<ParsedStatement>& out) {
        while (!AtEnd()) {
            if (IsPunct(u";")) {
                ++pos_;
                continue;
            }
            const std::int32_t line = Peek().line;
            std::optional<Statement> st = ParseStatement();
            if (!st)
                return false;
            out.push_back({std::move(*st), line});
        }
        return true;
    }

    const SyntaxError& error() const { return error_; }
    bool failedAtEnd() const { return failedAtEnd_; }
    // How many tokens the parser looked at: all of them, or up to and including the one it
    // failed on.
    std::size_t seen() const { return failedAtEnd_ ? tokens_.size() : pos_ + 1; }

  private:
    const Token& Peek() const {
        static const Token end;
        return pos_ < tokens_.size() ? tokens_[pos_] : end;
    }
    bool AtEnd() const { return pos_ >= tokens_.size(); }
    bool IsWord(std::u16string_view w) const {
        return !AtEnd() && Peek().kind == Kind::Word && SameWord(Peek().text, w);
    }
    bool IsPunct(std::u16string_view p) const {
        return !AtEnd() && Peek().kind == Kind::Punct && Peek().text == p;
    }

    bool Fail() {
        // SQL Server names the token where it gave up, or the last one when the batch ran out.
        failedAtEnd_ = AtEnd();
        if (AtEnd()) {
            const Token& last = tokens_.empty() ? Peek() : tokens_.back();
            error_ = NearError(last.text, last.line);
        } else {
            error_ = NearError(Peek().text, Peek().line);
        }
        return false;
    }
    bool Word(std::u16string_view w) {
        if (!IsWord(w))
            return Fail();
        ++pos_;
        return true;
    }
    bool Punct(std::u16string_view p) {
        if (!IsPunct(p))
            return Fail();
        ++pos_;
        return true;
    }
    bool Name(std::u16string& out) {
        if (AtEnd() || (Peek().kind != Kind::Word && Peek().kind != Kind::QuotedName))
            return Fail();
        out = tokens_[pos_++].text;
        return true;
    }
    bool String(std::u16string& out) {
        if (AtEnd() || Peek().kind != Kind::String)
            return Fail();
        out = tokens_[pos_++].text;
        return true;
    }

    std::optional<Statement> ParseStatement() {
        if (IsWord(u"DBCC"))
            return ParseDbcc();
        if (IsWord(u"CREATE"))
            return ParseCreate();
        if (IsWord(u"SELECT"))
            return ParseSelect();
        if (IsWord(u"SET"))
            return ParseSet();
        if (IsWord(u"USE")) {
            ++pos_;
            UseDatabase use;
            if (!Name(use.name))
                return std::nullopt;
            return use;
        }
        Fail();
        return std::nullopt;
    }

    std::optional<Statement> ParseDbcc() {
        ++pos_;
        DbccCheckPrimaryFile d;
        if (!Word(u"CHECKPRIMARYFILE") || !Punct(u"(") || !String(d.path) || !Punct(u",")) {
            return std::nullopt;
        }
        if (AtEnd() || Peek().kind != Kind::Number ||
            (Peek().text != u"0" && Peek().text != u"1" && Peek().text != u"2" &&
             Peek().text != u"3")) {
            Fail();
            return std::nullopt;
        }
        d.option = Peek().text[0] - u'0';
        // Options 0 and 1 exist in SQL Server but nothing here sends them; refusing them beats
        // inventing their answers.
        if (d.option < 2) {
            Fail();
            return std::nullopt;
        }
        ++pos_;
        if (!Punct(u")"))
            return std::nullopt;
        return d;
    }

    bool FileSpec(std::vector<std::u16string>& files) {
        if (!Punct(u"("))
            return false;
        if (IsWord(u"NAME")) {
            ++pos_;
            std::u16string ignored;
            if (!Punct(u"="))
                return false;
            if (!AtEnd() && Peek().kind == Kind::String) {
                ++pos_;
            } else if (!Name(ignored)) {
                return false;
            }
            if (!Punct(u","))
                return false;
        }
        std::u16string file;
        if (!Word(u"FILENAME") || !Punct(u"=") || !String(file) || !Punct(u")"))
            return false;
        files.push_back(std::move(file));
        return true;
    }

    bool FileList(std::vector<std::u16string>& files) {
        if (!FileSpec(files))
            return false;
        while (IsPunct(u",")) {
            ++pos_;
            if (!FileSpec(files))
                return false;
        }
        return true;
    }

    std::optional<Statement> ParseCreate() {
        ++pos_;
        CreateDatabaseForAttach c;
        if (!Word(u"DATABASE") || !Name(c.name) || !Word(u"ON"))
            return std::nullopt;
        if (IsWord(u"PRIMARY"))
            ++pos_;
        if (!FileList(c.files))
            return std::nullopt;
        if (IsWord(u"LOG")) {
            ++pos_;
            if (!Word(u"ON") || !FileList(c.files))
                return std::nullopt;
        }
        if (!Word(u"FOR"))
            return std::nullopt;
        if (IsWord(u"ATTACH_REBUILD_LOG")) {
            ++pos_;
            c.rebuildLog = true;
        } else if (!Word(u"ATTACH")) {
            return std::nullopt;
        }
        return c;
    }

    std::optional<Statement> ParseSelect() {
        ++pos_;
        if (!Word(u"name") || !Word(u"FROM") || !Word(u"sys") || !Punct(u".") ||
            !Word(u"databases")) {
            return std::nullopt;
        }
        return SelectDatabaseNames{};
    }

    // SET option[, option...] value, where value is ON, OFF, a (signed) number or a word.
    std::optional<Statement> ParseSet() {
        ++pos_;
        if (AtEnd() || Peek().kind != Kind::Word) {
            Fail();
            return std::nullopt;
        }
        ++pos_;
        while (IsPunct(u",")) {
            ++pos_;
            if (AtEnd() || Peek().kind != Kind::Word) {
                Fail();
                return std::nullopt;
            }
            ++pos_;
        }
        if (IsPunct(u"-"))
            ++pos_;
        if (AtEnd() || (Peek().kind != Kind::Word && Peek().kind != Kind::Number &&
                        Peek().kind != Kind::String)) {
            Fail();
            return std::nullopt;
        }
        ++pos_;
        return SetOption{};
    }

    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    SyntaxError error_;
    bool failedAtEnd_ = false;
};

}  // namespace

ParseResult ParseBatch(const std::u16string& batch) {
    ParseResult result;
    std::optional<LexError> lexError;
    std::vector<Token> tokens = Lex(batch, lexError);
    Parser parser(tokens);
    std::vector<ParsedStatement> statements;
    const bool ok = parser.Run(statements);
    // Rejected identifiers come first, in batch order, as far as the parser got.
    const std::size_t seen = ok ? tokens.size() : parser.seen();
    for (std::size_t i = 0; i < seen && i < tokens.size(); ++i) {
        if (tokens[i].problem)
            result.errors.push_back(*tokens[i].problem);
    }
    if (lexError && (ok || parser.failedAtEnd())) {
        // The statement was still fine when the tokens ran out: it fails on the literal.
        result.errors.push_back(lexError->first);
        if (lexError->second)
            result.errors.push_back(*lexError->second);
    } else if (!ok) {
        // Wrong before the literal: SQL Server names the token it gave up on, then still reports
        // the quotation mark left open further on.
        result.errors.push_back(parser.error());
        if (lexError && lexError->first.number == 105)
            result.errors.push_back(lexError->first);
    }
    if (result.errors.empty())
        result.statements = std::move(statements);
    return result;
}

}  // namespace tsql
