// A song's order: `play` items read and written, counted without expanding, and expanded.
#include <algorithm>
#include <climits>
#include <string>

#include "beat/order.h"

namespace kettorin {

namespace {

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

constexpr int64_t kTooMany = kMaxPlays + 1;

// Plays in `items`, counted up to kTooMany: counts of 10000 nested 8 deep would pass 64 bits.
int64_t Count(const std::vector<PlayItem>& items) {
  int64_t total = 0;
  for (const PlayItem& item : items) {
    const int64_t once = item.pattern >= 0 ? 1 : Count(item.items);
    total = std::min(total + std::min(once * item.count, kTooMany), kTooMany);
  }
  return total;
}

void Expand(const std::vector<PlayItem>& items, std::vector<int32_t>& plays) {
  for (const PlayItem& item : items) {
    for (int32_t n = 0; n < item.count; ++n) {
      if (item.pattern >= 0) {
        plays.push_back(item.pattern);
      } else {
        Expand(item.items, plays);
      }
    }
  }
}

void Write(const Beat& beat, const std::vector<PlayItem>& items, std::string& text) {
  for (const PlayItem& item : items) {
    if (!text.empty() && text.back() != '(') text += ' ';
    if (item.pattern >= 0) {
      text += beat.patterns[static_cast<size_t>(item.pattern)].name;
    } else {
      text += '(';
      Write(beat, item.items, text);
      text += ')';
    }
    if (item.count != 1) text += '*' + std::to_string(item.count);
  }
}

std::string Quoted(std::string_view text) {
  std::string quoted(1, '\'');
  quoted.append(text).append(1, '\'');
  return quoted;
}

}  // namespace

PatternNames::PatternNames(const Beat& beat) {
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    const std::string& name = beat.patterns[p].name;
    if (name.empty()) continue;
    index_.emplace(name, static_cast<int32_t>(p));
    list_ += (list_.empty() ? "" : ", ") + name;
  }
  if (list_.empty()) list_ = "there are none: a 'pattern NAME' line starts one";
}

std::optional<int32_t> PatternNames::Find(std::string_view name) const {
  const auto found = index_.find(name);
  if (found == index_.end()) return std::nullopt;
  return found->second;
}

bool IsPatternName(std::string_view name) {
  return !name.empty() && name.size() <= 32 && std::all_of(name.begin(), name.end(), IsNameChar);
}

std::optional<std::string> ParseOrder(std::string_view text, const PatternNames* names,
                                      std::vector<PlayItem>& items) {
  // The open groups, innermost last; `last` is what a count may follow at once (the name just
  // read or the group just closed), and nothing after a blank.
  std::vector<std::vector<PlayItem>*> open{&items};
  PlayItem* last = nullptr;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsBlank(c)) {
      last = nullptr;
      ++i;
    } else if (c == '(') {
      if (open.size() > static_cast<size_t>(kMaxGroupDepth)) {
        return "groups nest at most " + std::to_string(kMaxGroupDepth) + " deep";
      }
      open.back()->emplace_back();
      open.push_back(&open.back()->back().items);
      last = nullptr;
      ++i;
    } else if (c == ')') {
      if (open.size() == 1) return std::string("')' without its '('");
      if (open.back()->empty()) return std::string("'()' holds no pattern");
      open.pop_back();
      last = &open.back()->back();
      ++i;
    } else if (c == '*') {
      if (last == nullptr) {
        return std::string("a count follows its name or ')' at once, as in 'verse*4'");
      }
      size_t end = i + 1;
      while (end < text.size() && !IsBlank(text[end]) && text[end] != '(' && text[end] != ')') {
        ++end;
      }
      const std::string_view digits = text.substr(i + 1, end - i - 1);
      if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) {
        return "'*' takes a whole number, got " + Quoted(digits);
      }
      const int32_t count = digits.size() <= 5 ? std::stoi(std::string(digits)) : INT32_MAX;
      if (count < kMinPlayCount || count > kMaxPlayCount) {
        return "a count must be " + std::to_string(kMinPlayCount) + " to " +
               std::to_string(kMaxPlayCount) + ", got " + std::string(digits);
      }
      last->count = count;
      last = nullptr;
      i = end;
    } else if (IsNameChar(c)) {
      size_t end = i;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      const std::string_view name = text.substr(i, end - i);
      PlayItem item;
      if (names != nullptr) {
        const std::optional<int32_t> found = names->Find(name);
        if (!found) return "unknown pattern " + Quoted(name) + " in play (" + names->List() + ")";
        item.pattern = *found;
      } else {
        item.pattern = 0;  // a placeholder until the names are known
      }
      open.back()->push_back(std::move(item));
      last = &open.back()->back();
      i = end;
    } else {
      return "unexpected " + Quoted(std::string(1, c)) +
             " in play (pattern names, groups in ( ) and counts such as *4)";
    }
  }
  if (open.size() > 1) return std::string("'(' without its ')'");
  return std::nullopt;
}

std::optional<BeatError> ReadOrder(std::string_view items, Beat& beat) {
  const PatternNames names(beat);
  std::vector<PlayItem> read;
  if (std::optional<std::string> wrong = ParseOrder(items, &names, read)) {
    return BeatError{0, *wrong};
  }
  beat.order.insert(beat.order.end(), read.begin(), read.end());
  return std::nullopt;
}

std::string WriteOrder(const Beat& beat) {
  std::string text;
  Write(beat, beat.order, text);
  return text;
}

int64_t PlayCount(const Beat& beat, int32_t repeat) {
  const int64_t once = beat.order.empty()
                           ? std::min(static_cast<int64_t>(beat.patterns.size()), kTooMany)
                           : Count(beat.order);
  return std::min(once * std::max(repeat, 0), kTooMany);
}

std::vector<int32_t> ExpandOrder(const Beat& beat, int32_t repeat) {
  std::vector<int32_t> plays;
  if (PlayCount(beat, repeat) > kMaxPlays) return plays;
  plays.reserve(static_cast<size_t>(PlayCount(beat, repeat)));
  for (int32_t pass = 0; pass < repeat; ++pass) {
    if (beat.order.empty()) {
      for (size_t p = 0; p < beat.patterns.size(); ++p) plays.push_back(static_cast<int32_t>(p));
    } else {
      Expand(beat.order, plays);
    }
  }
  return plays;
}

}  // namespace kettorin
