#include "FieldDocument.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <nlohmann/json.hpp>

#include "files.h"

namespace tavrick {
namespace {

using nlohmann::json;

// Names, not table indices, so that a file stays readable and survives a new kind.
const char* const kKindNames[] = {"led-on", "led-off", "wait-1", "wait-3", "wait-5", "wait-10"};
const char* const kTargetNames[] = {"Dov", "Velto"};
const char* const kSideNames[] = {"left", "right"};

template <size_t N>
int indexOf(const char* const (&names)[N], const json& value) {
    if (!value.is_string()) return -1;
    const std::string s = value.get<std::string>();
    for (size_t i = 0; i < N; ++i)
        if (s == names[i]) return static_cast<int>(i);
    return -1;
}

bool finite(const json& v) { return v.is_number() && std::isfinite(v.get<double>()); }

}  // namespace

std::string FieldDocument::toJson() const {
    json cardList = json::array();
    for (const CardRecord& c : cards) {
        json r = {{"kind", kKindNames[c.kind]}, {"x", c.x}, {"y", c.y}};
        if (c.row >= 0) {
            // Rows as the child sees them numbered: 10, 20, ... 300.
            r["row"] = 10 * (c.row + 1);
            r["side"] = kSideNames[c.side];
        }
        cardList.push_back(r);
    }
    json doc = {{"format", "tavrick-cards"}, {"version", kVersion}, {"target", kTargetNames[target]},
                {"cards", cardList}};
    if (hasView) doc["view"] = {{"x", offsetX}, {"y", offsetY}, {"zoom", zoom}};
    return doc.dump(1, '\t') + "\n";
}

bool FieldDocument::fromJson(const std::string& text, FieldDocument& out, std::string& problem,
                             bool* notAProgram) {
    if (notAProgram) *notAProgram = false;
    const json doc = json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        problem = text.empty() ? "the file is empty" : "the file is not JSON (cut short or damaged)";
        return false;
    }
    if (!doc.is_object() || doc.value("format", json()) != "tavrick-cards") {
        problem = "the file is not a card program";
        if (notAProgram) *notAProgram = true;
        return false;
    }
    const json version = doc.value("version", json());
    if (!version.is_number_integer() || version.get<long long>() < 1) {
        problem = "the file has no format version";
        return false;
    }
    if (version.get<long long>() > kVersion) {
        problem = "the file was written by a newer version of the program";
        return false;
    }
    FieldDocument d;
    d.target = indexOf(kTargetNames, doc.value("target", json()));
    if (d.target < 0) {
        problem = "the file names an unknown board";
        return false;
    }
    const json cards = doc.value("cards", json());
    if (!cards.is_array()) {
        problem = "the file has no card list";
        return false;
    }
    if (cards.size() > static_cast<size_t>(kMaxCards)) {
        problem = "it holds more than " + std::to_string(kMaxCards / 1000) + ",000 cards";
        if (notAProgram) *notAProgram = true;
        return false;
    }
    bool taken[kRows][2] = {};
    for (const json& r : cards) {
        CardRecord c;
        if (!r.is_object() || (c.kind = indexOf(kKindNames, r.value("kind", json()))) < 0) {
            problem = "the file names a card that does not exist";
            return false;
        }
        if (!finite(r.value("x", json())) || !finite(r.value("y", json()))) {
            problem = "a card in the file has no place";
            return false;
        }
        c.x = r["x"].get<float>();
        c.y = r["y"].get<float>();
        if (r.contains("row") || r.contains("side")) {
            const json row = r.value("row", json());
            const long long n = row.is_number_integer() ? row.get<long long>() : -1;
            if (n < 10 || n > 10 * kRows || n % 10 != 0) {
                problem = "the file names a row that does not exist";
                return false;
            }
            c.row = static_cast<int>(n / 10 - 1);
            c.side = indexOf(kSideNames, r.value("side", json()));
            if (c.side < 0) {
                problem = "the file names a slot that does not exist";
                return false;
            }
            if (taken[c.row][c.side]) {
                problem = "the file puts two cards into one slot";
                return false;
            }
            taken[c.row][c.side] = true;
        }
        d.cards.push_back(c);
    }
    const json view = doc.value("view", json());
    if (view.is_object() && finite(view.value("x", json())) && finite(view.value("y", json())) &&
        finite(view.value("zoom", json()))) {
        d.hasView = true;
        d.offsetX = view["x"].get<float>();
        d.offsetY = view["y"].get<float>();
        d.zoom = view["zoom"].get<float>();
    }
    out = std::move(d);
    return true;
}

FieldDocument::ReadResult FieldDocument::readFile(const std::string& path, FieldDocument& out,
                                                  std::string& problem) {
    std::string text;
    FileRefusal refusal = FileRefusal::None;
    if (!readSmallFile(path, kMaxProgramFileBytes, text, refusal, problem)) {
        switch (refusal) {
            case FileRefusal::Missing: return ReadResult::Missing;
            case FileRefusal::NotAFile:
            case FileRefusal::TooLarge: return ReadResult::NotAProgramFile;
            default: return ReadResult::Unreadable;
        }
    }
    bool notAProgram = false;
    if (!fromJson(text, out, problem, &notAProgram))
        return notAProgram ? ReadResult::NotAProgramFile : ReadResult::Damaged;
    return ReadResult::Read;
}

std::string FieldDocument::withProgramExtension(const std::string& path) {
    const std::string ext = kProgramExtension;
    if (path.size() >= ext.size()) {
        bool same = true;
        for (std::size_t i = 0; i < ext.size() && same; ++i) {
            const char c = path[path.size() - ext.size() + i];
            same = (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == ext[i];
        }
        if (same) return path;
    }
    return path + ext;
}

}  // namespace tavrick
