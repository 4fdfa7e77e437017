#include "devlib/orvlib_pattern.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <rapidjson/encodings.h>
#include <rapidjson/internal/regex.h>
#include <string>
#include <vector>

namespace VazidaRaduru {
namespace {

// The engine compiles a pattern to an automaton and matches without
// backtracking, so no option of another engine is needed to keep matching
// polynomial, and it parses with stacks of its own, so the length of a
// pattern costs no call stack. What grows instead is the automaton: a
// counted repetition copies its operand ("(A{1000}){1000}" would be a
// million states), and the matcher recurses once per state it passes
// without reading a character. Each buffer of the engine is held to 16 KiB,
// far more than a pattern for a 40-character text needs; a pattern that
// needs more is refused. The buffers grow by half their size from 256 bytes,
// so the largest that fits holds 14,763 bytes: about 922 states.
constexpr size_t kMaxEngineBuffer = 16384;

// Each repetition of a count takes at least one 16-byte state, so a larger
// count could never fit. The engine itself reads counts modulo 2^32, so such
// a count must not reach it.
constexpr unsigned kMaxCount = kMaxEngineBuffer / 16;

struct PatternTooLarge {};

class PatternAllocator {
 public:
  static const bool kNeedFree = true;
  void* Malloc(size_t size) { return Realloc(nullptr, 0, size); }
  void* Realloc(void* block, size_t, size_t size) {
    if (size == 0) {
      std::free(block);
      return nullptr;
    }
    if (size > kMaxEngineBuffer) throw PatternTooLarge();
    void* resized = std::realloc(block, size);
    if (!resized) throw std::bad_alloc();
    return resized;
  }
  static void Free(void* block) { std::free(block); }
};

using PatternEncoding = rapidjson::UTF8<>;
using PatternEngine = rapidjson::internal::GenericRegex<PatternEncoding, PatternAllocator>;

using Characters = std::vector<unsigned>;

// Bytes for the engine's decoder. Its decoder takes every byte a sequence's
// first byte announces, even after a zero; past the end this stream gives
// zeros, which end no valid sequence.
class BoundedStream {
 public:
  typedef char Ch;
  BoundedStream(const char* begin, const char* end) : at_(begin), left_(static_cast<size_t>(end - begin)) {}
  char Take() {
    if (!left_) return '\0';
    --left_;
    return *at_++;
  }
  const char* position() const { return at_; }

 private:
  const char* at_;
  size_t left_;
};

// Decodes the character at at, as the engine's decoder does, and moves at
// past it; false (at unmoved) for bytes that are no UTF-8 sequence before
// end.
bool decodeCharacter(const char*& at, const char* end, unsigned& codepoint) {
  BoundedStream stream(at, end);
  if (!PatternEncoding::Decode(stream, &codepoint)) return false;
  at = stream.position();
  return true;
}

// The pattern's characters, as the engine reads them; false when a byte
// sequence is not UTF-8, of which the engine would read only the part
// before it, and after it past the pattern's end.
bool patternCharacters(const char* pattern, Characters& characters) {
  const char* end = pattern + std::strlen(pattern);
  for (const char* at = pattern; at < end;) {
    unsigned codepoint = 0;
    if (!decodeCharacter(at, end, codepoint)) return false;
    characters.push_back(codepoint);
  }
  return true;
}

// The text the engine searches. A drive's text may hold any bytes, and the
// engine would stop at the first it cannot decode, or read past the text's
// end for a sequence cut short there. So each byte that does not begin a
// UTF-8 sequence is searched as U+FFFD, the replacement character: "." and a
// negated class match it, and no pattern character but U+FFFD itself does.
std::string searchableText(const char* text) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
  const char* end = text + std::strlen(text);
  std::string readable;
  for (const char* at = text; at < end;) {
    const char* character = at;
    unsigned codepoint = 0;
    if (decodeCharacter(at, end, codepoint)) {
      readable.append(character, at);
    } else {
      readable += kReplacement;
      ++at;
    }
  }
  return readable;
}

// One alternative of a group, item by item.
struct Alternative {
  bool hasItem = false;
  bool itemsBeforeLastMatchEmpty = true;
  bool lastItemMatchesEmpty = false;

  bool matchesEmpty() const { return itemsBeforeLastMatchEmpty && lastItemMatchesEmpty; }
  void add(bool itemMatchesEmpty) {
    if (hasItem) itemsBeforeLastMatchEmpty = matchesEmpty();
    hasItem = true;
    lastItemMatchesEmpty = itemMatchesEmpty;
  }
};

struct Group {
  Alternative current;
  bool anyAlternativeMatchesEmpty = false;

  // False when the alternative is empty, or is the second of the group
  // that matches the empty text.
  bool closeAlternative() {
    if (!current.hasItem) return false;
    bool matchesEmpty = current.matchesEmpty();
    if (matchesEmpty && anyAlternativeMatchesEmpty) return false;
    anyAlternativeMatchesEmpty = anyAlternativeMatchesEmpty || matchesEmpty;
    current = Alternative();
    return true;
  }
};

bool isDigit(unsigned c) { return c >= '0' && c <= '9'; }

// A count at c, as the engine parses one; false when there is none or it is
// above kMaxCount.
bool parseCount(const Characters& pattern, size_t& c, unsigned& count) {
  if (c >= pattern.size() || !isDigit(pattern[c])) return false;
  count = 0;
  for (; c < pattern.size() && isDigit(pattern[c]); ++c) {
    count = count * 10 + (pattern[c] - '0');
    if (count > kMaxCount) return false;
  }
  return true;
}

// The "{n}", "{n,}" or "{n,m}" that starts at c, up to its "}"; false where
// the engine would find no count or read one wrapped. The engine refuses the
// counts of no repetition ("{0}", "{2,1}") on its own. fromZero tells
// whether the repetition matches the empty text.
bool parseRepetition(const Characters& pattern, size_t& c, bool& fromZero) {
  unsigned least = 0, most = 0;
  ++c;
  if (!parseCount(pattern, c, least)) return false;
  if (c < pattern.size() && pattern[c] == ',') {
    ++c;
    if (c < pattern.size() && pattern[c] != '}' && !parseCount(pattern, c, most)) return false;
  }
  fromZero = least == 0;
  return c < pattern.size() && pattern[c] == '}';
}

// Whether the engine can run the pattern. Where it has no answer of its own,
// the pattern is refused like one that does not compile:
// - a group or alternative with nothing in it, a group left open, or a
//   repetition with nothing before it: its parser asserts or reads outside
//   its stacks;
// - a repetition of something that matches the empty text ("(A*)*", "A**"):
//   its matcher loops without end;
// - a second alternative of a group that matches the empty text
//   ("(A?|B?)"): its matcher walks every way through such groups, twice as
//   many per group;
// - a count above kMaxCount, which the engine would read wrapped.
bool engineCanRun(const Characters& pattern) {
  std::vector<Group> groups(1);
  for (size_t c = 0; c < pattern.size(); ++c) {
    switch (pattern[c]) {
      case '(':
        groups.emplace_back();
        break;
      case ')': {
        if (groups.size() == 1 || !groups.back().closeAlternative()) return false;
        bool matchesEmpty = groups.back().anyAlternativeMatchesEmpty;
        groups.pop_back();
        groups.back().current.add(matchesEmpty);
        break;
      }
      case '|':
        if (!groups.back().closeAlternative()) return false;
        break;
      case '?':
      case '*':
      case '+':
      case '{': {
        Alternative& alternative = groups.back().current;
        if (!alternative.hasItem || alternative.lastItemMatchesEmpty) return false;
        bool fromZero = pattern[c] != '+';
        if (pattern[c] == '{' && !parseRepetition(pattern, c, fromZero)) return false;
        alternative.lastItemMatchesEmpty = fromZero;
        break;
      }
      case '^':
      case '$':
        break;
      case '[':
        while (c + 1 < pattern.size() && pattern[c + 1] != ']')
          c += pattern[c + 1] == '\\' && c + 2 < pattern.size() ? 2 : 1;
        if (c + 1 < pattern.size()) ++c;
        groups.back().current.add(false);
        break;
      case '\\':
        if (c + 1 < pattern.size()) ++c;
        groups.back().current.add(false);
        break;
      default:
        groups.back().current.add(false);
    }
  }
  return groups.size() == 1 && groups.back().closeAlternative();
}

}  // namespace

bool orvSearchPattern(const char* pattern, const char* text, bool& found) {
  Characters characters;
  if (!patternCharacters(pattern, characters) || !engineCanRun(characters)) return false;
  try {
    PatternEngine engine(pattern);
    if (!engine.IsValid()) return false;
    found = engine.Search(searchableText(text).c_str());
  } catch (const PatternTooLarge&) {
    return false;
  }
  return true;
}

}  // namespace VazidaRaduru
