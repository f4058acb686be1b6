#include "ReferenceJson.h"

#include <utility>

namespace Fuzz {

namespace {

class Reader
{
public:
    explicit Reader(std::string_view text)
        : m_text(text)
    {}

    std::optional<ReferenceJson> document()
    {
        ReferenceJson value;
        skipSpace();
        if (!readValue(value, 0))
            return std::nullopt;
        skipSpace();
        if (m_at != m_text.size())
            return std::nullopt;
        return value;
    }

private:
    int peek() const { return m_at < m_text.size() ? static_cast<unsigned char>(m_text[m_at]) : -1; }

    void skipSpace()
    {
        while (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')
            ++m_at;
    }

    bool literal(std::string_view word)
    {
        if (m_text.substr(m_at, word.size()) != word)
            return false;
        m_at += word.size();
        return true;
    }

    bool readValue(ReferenceJson &value, int depth)
    {
        switch (peek()) {
        case '{':
            value.kind = ReferenceJson::Kind::Object;
            return depth < ReferenceJson::maxDepth && readObject(value, depth + 1);
        case '[':
            value.kind = ReferenceJson::Kind::Array;
            return depth < ReferenceJson::maxDepth && readArray(value, depth + 1);
        case '"':
            value.kind = ReferenceJson::Kind::String;
            return readString(value.text);
        case 't':
            value.kind = ReferenceJson::Kind::Bool;
            value.text = "true";
            return literal("true");
        case 'f':
            value.kind = ReferenceJson::Kind::Bool;
            value.text = "false";
            return literal("false");
        case 'n':
            value.kind = ReferenceJson::Kind::Null;
            return literal("null");
        default:
            value.kind = ReferenceJson::Kind::Number;
            return readNumber(value.text);
        }
    }

    bool readObject(ReferenceJson &object, int depth)
    {
        ++m_at;
        skipSpace();
        if (peek() == '}') {
            ++m_at;
            return true;
        }
        for (;;) {
            std::string name;
            skipSpace();
            if (peek() != '"' || !readString(name))
                return false;
            skipSpace();
            if (peek() != ':')
                return false;
            ++m_at;
            skipSpace();
            object.names.push_back(std::move(name));
            if (!readValue(object.items.emplace_back(), depth))
                return false;
            skipSpace();
            if (peek() == '}') {
                ++m_at;
                return true;
            }
            if (peek() != ',')
                return false;
            ++m_at;
        }
    }

    bool readArray(ReferenceJson &array, int depth)
    {
        ++m_at;
        skipSpace();
        if (peek() == ']') {
            ++m_at;
            return true;
        }
        for (;;) {
            skipSpace();
            if (!readValue(array.items.emplace_back(), depth))
                return false;
            skipSpace();
            if (peek() == ']') {
                ++m_at;
                return true;
            }
            if (peek() != ',')
                return false;
            ++m_at;
        }
    }

    static bool isDigit(int c) { return c >= '0' && c <= '9'; }

    // number = [ minus ] int [ frac ] [ exp ]; int = zero / ( digit1-9 *DIGIT )
    bool readNumber(std::string &out)
    {
        const std::size_t from = m_at;
        const auto digits = [this] {
            const std::size_t start = m_at;
            while (isDigit(peek()))
                ++m_at;
            return m_at > start;
        };
        if (peek() == '-')
            ++m_at;
        if (peek() == '0')
            ++m_at;
        else if (!digits())
            return false;
        if (peek() == '.') {
            ++m_at;
            if (!digits())
                return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++m_at;
            if (peek() == '+' || peek() == '-')
                ++m_at;
            if (!digits())
                return false;
        }
        out.assign(m_text.substr(from, m_at - from));
        return true;
    }

    bool hex4(std::uint32_t &value)
    {
        value = 0;
        for (int i = 0; i < 4; ++i) {
            const int c = peek();
            int digit = -1;
            if (isDigit(c))
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            if (digit < 0)
                return false;
            value = value * 16 + std::uint32_t(digit);
            ++m_at;
        }
        return true;
    }

    static void appendUtf8(std::string &out, std::uint32_t c)
    {
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

    // One well-formed UTF-8 sequence (RFC 3629), copied to OUT.
    bool readUtf8(std::string &out)
    {
        const int lead = peek();
        int continuation = 0;
        std::uint32_t c = 0;
        std::uint32_t lowest = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            continuation = 1, c = lead & 0x1F, lowest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            continuation = 2, c = lead & 0x0F, lowest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            continuation = 3, c = lead & 0x07, lowest = 0x10000;
        } else {
            return false;
        }
        const std::size_t from = m_at++;
        for (int i = 0; i < continuation; ++i) {
            const int next = peek();
            if (next < 0 || (next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | std::uint32_t(next & 0x3F);
            ++m_at;
        }
        if (c < lowest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        out.append(m_text.substr(from, m_at - from));
        return true;
    }

    bool readString(std::string &out)
    {
        ++m_at;
        for (;;) {
            const int c = peek();
            if (c < 0x20) // the end of the text, or a control character
                return false;
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (c >= 0x80) {
                if (!readUtf8(out))
                    return false;
                continue;
            }
            ++m_at;
            if (c != '\\') {
                out += char(c);
                continue;
            }
            const int escape = peek();
            ++m_at;
            switch (escape) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                std::uint32_t unit = 0;
                if (!hex4(unit) || (unit >= 0xDC00 && unit <= 0xDFFF))
                    return false;
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    std::uint32_t low = 0;
                    if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return false;
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, unit);
                break;
            }
            default:
                return false;
            }
        }
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

} // namespace

std::optional<ReferenceJson> ReferenceJson::parse(std::string_view text)
{
    return Reader(text).document();
}

const ReferenceJson *ReferenceJson::member(std::string_view key) const
{
    if (kind != Kind::Object)
        return nullptr;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == key)
            return &items[i];
    }
    return nullptr;
}

} // namespace Fuzz
