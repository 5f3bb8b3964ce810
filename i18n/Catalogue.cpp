#include "Catalogue.h"

#include <cctype>
#include <cstring>

namespace i18n {

// --- the plural expression ------------------------------------------------------------

struct PluralRule::Node {
    enum Kind { Number, N, Not, Binary, Choice } kind = Number;
    std::string op;  // for Binary: "*", "/", "%", "+", "-", "<", ">", "<=", ">=", "==", "!=", "&&", "||"
    unsigned long value = 0;
    std::unique_ptr<Node> a, b, c;

    unsigned long eval(unsigned long n) const {
        switch (kind) {
        case Number: return value;
        case N: return n;
        case Not: return !a->eval(n);
        case Choice: return a->eval(n) ? b->eval(n) : c->eval(n);
        case Binary: break;
        }
        const unsigned long x = a->eval(n);
        if (op == "&&") return x && b->eval(n);
        if (op == "||") return x || b->eval(n);
        const unsigned long y = b->eval(n);
        if (op == "*") return x * y;
        if (op == "/") return y ? x / y : 0;
        if (op == "%") return y ? x % y : 0;
        if (op == "+") return x + y;
        if (op == "-") return x - y;
        if (op == "<") return x < y;
        if (op == ">") return x > y;
        if (op == "<=") return x <= y;
        if (op == ">=") return x >= y;
        if (op == "==") return x == y;
        return x != y;
    }
};

namespace {

using NodePtr = std::unique_ptr<PluralRule::Node>;

// Recursive descent in C's precedence; the depth is bounded so that a hostile header of a
// thousand parentheses is refused instead of overflowing the stack.
class Parser {
public:
    explicit Parser(std::string_view s) : s_(s) {}

    NodePtr parseAll(std::string& error) {
        NodePtr e = choice();
        skip();
        if (!failed_ && pos_ != s_.size()) fail("unexpected \"" + std::string(s_.substr(pos_, 8)) + "\"");
        if (failed_) {
            error = error_;
            return nullptr;
        }
        return e;
    }

private:
    std::string_view s_;
    size_t pos_ = 0;
    int depth_ = 0;
    bool failed_ = false;
    std::string error_;

    void fail(const std::string& why) {
        if (!failed_) error_ = why + " at column " + std::to_string(pos_ + 1);
        failed_ = true;
    }
    void skip() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool eat(std::string_view tok) {
        skip();
        if (s_.substr(pos_, tok.size()) != tok) return false;
        // "<" must not take the first half of "<=", nor "!" of "!=".
        if (tok.size() == 1 && pos_ + 1 < s_.size() && s_[pos_ + 1] == '=' && std::strchr("<>!=", tok[0]))
            return false;
        pos_ += tok.size();
        return true;
    }
    static NodePtr binary(const std::string& op, NodePtr a, NodePtr b) {
        auto n = std::make_unique<PluralRule::Node>();
        n->kind = PluralRule::Node::Binary;
        n->op = op;
        n->a = std::move(a);
        n->b = std::move(b);
        return n;
    }
    NodePtr choice() {
        if (++depth_ > 100) {
            fail("expression nested too deeply");
            return nullptr;
        }
        NodePtr cond = level(0);
        if (!failed_ && eat("?")) {
            auto n = std::make_unique<PluralRule::Node>();
            n->kind = PluralRule::Node::Choice;
            n->a = std::move(cond);
            n->b = choice();
            if (!failed_ && !eat(":")) fail("\":\" expected");
            if (!failed_) n->c = choice();
            cond = std::move(n);
        }
        --depth_;
        return failed_ ? nullptr : std::move(cond);
    }
    // The binary operators, loosest first.
    NodePtr level(int l) {
        static const std::vector<std::vector<std::string_view>> ops = {
            {"||"}, {"&&"}, {"==", "!="}, {"<=", ">=", "<", ">"}, {"+", "-"}, {"*", "/", "%"}};
        if (l == static_cast<int>(ops.size())) return unary();
        NodePtr left = level(l + 1);
        for (bool more = true; more && !failed_;) {
            more = false;
            for (std::string_view op : ops[l]) {
                if (eat(op)) {
                    NodePtr right = level(l + 1);
                    left = binary(std::string(op), std::move(left), std::move(right));
                    more = true;
                    break;
                }
            }
        }
        return left;
    }
    NodePtr unary() {
        if (eat("!")) {
            if (++depth_ > 100) {
                fail("expression nested too deeply");
                return nullptr;
            }
            auto n = std::make_unique<PluralRule::Node>();
            n->kind = PluralRule::Node::Not;
            n->a = unary();
            --depth_;
            return n;
        }
        skip();
        if (eat("(")) {
            NodePtr e = choice();
            if (!failed_ && !eat(")")) fail("\")\" expected");
            return e;
        }
        auto n = std::make_unique<PluralRule::Node>();
        if (pos_ < s_.size() && s_[pos_] == 'n') {
            ++pos_;
            n->kind = PluralRule::Node::N;
            return n;
        }
        if (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
            while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
                if (n->value > 100000000) {
                    fail("number too large");
                    return nullptr;
                }
                n->value = n->value * 10 + static_cast<unsigned long>(s_[pos_++] - '0');
            }
            return n;
        }
        fail(pos_ < s_.size() ? "unexpected \"" + std::string(1, s_[pos_]) + "\"" : "expression ends early");
        return nullptr;
    }
};

}  // namespace

PluralRule::PluralRule() {
    std::string unused;
    parse("n != 1", unused);
}
PluralRule::~PluralRule() = default;
PluralRule::PluralRule(PluralRule&&) noexcept = default;
PluralRule& PluralRule::operator=(PluralRule&&) noexcept = default;

bool PluralRule::parse(std::string_view text, std::string& error) {
    int count = 2;
    std::string_view expr = text;
    const size_t np = text.find("nplurals=");
    if (np != std::string_view::npos) {
        size_t i = np + 9;
        count = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && count < 1000)
            count = count * 10 + (text[i++] - '0');
        if (count < 1 || count > 100) {
            error = "nplurals must be between 1 and 100";
            return false;
        }
        const size_t p = text.find("plural=", i);
        if (p == std::string_view::npos) {
            error = "no plural= after nplurals";
            return false;
        }
        expr = text.substr(p + 7);
        const size_t semi = expr.find(';');
        if (semi != std::string_view::npos) expr = expr.substr(0, semi);
    }
    NodePtr root = Parser(expr).parseAll(error);
    if (!root) {
        error = "plural expression: " + error;
        return false;
    }
    root_ = std::move(root);
    count_ = count;
    return true;
}

unsigned long PluralRule::index(unsigned long n) const { return root_->eval(n); }

// --- the catalogue -------------------------------------------------------------------

namespace {

bool readWord(const std::string& b, size_t at, bool swap, uint32_t& out) {
    if (at > b.size() || b.size() - at < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    out = swap ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
               : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    return true;
}

// The strings of a catalogue are NUL-separated forms.
std::vector<std::string> splitForms(const std::string& s) {
    std::vector<std::string> forms;
    size_t start = 0;
    for (;;) {
        const size_t z = s.find('\0', start);
        forms.push_back(s.substr(start, z == std::string::npos ? std::string::npos : z - start));
        if (z == std::string::npos) break;
        start = z + 1;
    }
    return forms;
}

}  // namespace

bool Catalogue::load(const std::string& b, std::string& error) {
    entries_.clear();
    header_.clear();
    plural_ = PluralRule();
    uint32_t magic = 0;
    if (!readWord(b, 0, false, magic) || (magic != 0x950412de && magic != 0xde120495)) {
        error = "not a compiled message catalogue";
        return false;
    }
    const bool swap = magic == 0xde120495;
    uint32_t revision = 0, count = 0, originals = 0, translations = 0;
    readWord(b, 4, swap, revision);
    if (!readWord(b, 8, swap, count) || !readWord(b, 12, swap, originals) || !readWord(b, 16, swap, translations)) {
        error = "the catalogue is cut short";
        return false;
    }
    if ((revision >> 16) > 1) {
        error = "catalogue format " + std::to_string(revision >> 16) + " is not known";
        return false;
    }
    auto stringAt = [&](uint32_t table, uint32_t i, std::string& out) {
        uint32_t len = 0, off = 0;
        const size_t at = size_t(table) + size_t(i) * 8;
        if (!readWord(b, at, swap, len) || !readWord(b, at + 4, swap, off)) return false;
        if (off > b.size() || b.size() - off < size_t(len) + 1 || b[off + len] != '\0') return false;
        out.assign(b, off, len);
        return true;
    };
    std::unordered_map<std::string, std::vector<std::string>> entries;
    for (uint32_t i = 0; i < count; ++i) {
        std::string key, value;
        if (!stringAt(originals, i, key) || !stringAt(translations, i, value)) {
            error = "entry " + std::to_string(i + 1) + " of " + std::to_string(count) + " lies outside the file";
            return false;
        }
        if (key.empty()) {
            header_ = value;
            continue;
        }
        // A plural entry's key is "singular\0plural": looked up by the singular.
        const size_t z = key.find('\0');
        if (z != std::string::npos) key.resize(z);
        entries[key] = splitForms(value);
    }
    const std::string forms = header("Plural-Forms");
    if (!forms.empty() && !plural_.parse(forms, error)) return false;
    entries_ = std::move(entries);
    return true;
}

const std::string* Catalogue::find(std::string_view msgid) const {
    auto it = entries_.find(std::string(msgid));
    if (it == entries_.end() || it->second.empty() || it->second[0].empty()) return nullptr;
    return &it->second[0];
}

const std::string* Catalogue::findPlural(std::string_view msgid, unsigned long n) const {
    auto it = entries_.find(std::string(msgid));
    if (it == entries_.end()) return nullptr;
    const unsigned long i = plural_.index(n);
    if (i >= it->second.size() || it->second[i].empty()) return nullptr;
    return &it->second[i];
}

void Catalogue::forEach(
    const std::function<void(const std::string&, const std::vector<std::string>&)>& fn) const {
    for (const auto& e : entries_) fn(e.first, e.second);
}

std::string Catalogue::header(std::string_view field) const {
    size_t start = 0;
    while (start < header_.size()) {
        size_t end = header_.find('\n', start);
        if (end == std::string::npos) end = header_.size();
        std::string_view line(header_.data() + start, end - start);
        if (line.size() > field.size() && line.substr(0, field.size()) == field && line[field.size()] == ':') {
            line.remove_prefix(field.size() + 1);
            while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            return std::string(line);
        }
        start = end + 1;
    }
    return std::string();
}

}  // namespace i18n
