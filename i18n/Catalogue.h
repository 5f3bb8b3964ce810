#pragma once
// A compiled gettext catalogue (.mo, as msgfmt writes it) and the plural rule of its header.
// No engine, no SDL: the screen asks through tr.h.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace i18n {

// A header's "plural=" expression, the C subset gettext allows: n, numbers, ( ), ! * / % + -
// < > <= >= == != && || ?:. Division by zero gives 0 rather than a crash.
class PluralRule {
public:
    // The rule of English (and of a catalogue without one): n != 1.
    PluralRule();
    ~PluralRule();
    PluralRule(PluralRule&&) noexcept;
    PluralRule& operator=(PluralRule&&) noexcept;

    // From a header's "Plural-Forms: nplurals=3; plural=(...);" line, or the bare expression.
    // False with `error` saying where it went wrong; the rule is then unchanged.
    bool parse(std::string_view pluralForms, std::string& error);
    unsigned long index(unsigned long n) const;
    int count() const { return count_; }

    struct Node;

private:
    std::unique_ptr<Node> root_;
    int count_ = 2;
};

class Catalogue {
public:
    // Reads the bytes of a .mo file (either byte order). False with `error` when they are not
    // one; the catalogue is then empty and every lookup misses.
    bool load(const std::string& bytes, std::string& error);

    // The translation of `msgid` (with "context\x04" before it for a context), or null.
    const std::string* find(std::string_view msgid) const;
    // The form for `n` of a plural entry, or null when the entry is missing or has no such form.
    const std::string* findPlural(std::string_view msgid, unsigned long n) const;

    // Every entry but the header: the key (context and singular) and its forms.
    void forEach(const std::function<void(const std::string& key, const std::vector<std::string>& forms)>& fn) const;
    size_t size() const { return entries_.size(); }
    // The header's value for `field` ("Language", "Plural-Forms"), or "".
    std::string header(std::string_view field) const;
    const PluralRule& plural() const { return plural_; }

private:
    std::unordered_map<std::string, std::vector<std::string>> entries_;
    std::string header_;
    PluralRule plural_;
};

}  // namespace i18n
