#include "devlib/orvlib_pattern.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <rapidjson/internal/regex.h>
#include <vector>

namespace VazidaRaduru {
namespace {

// The engine compiles a pattern to an automaton and matches without
// backtracking, so no option of another engine is needed to keep matching
// polynomial, and it parses with stacks of its own, so the length of a
// pattern costs no call stack. What grows instead is the automaton: a
// counted repetition copies its operand ("(A{1000}){1000}" would be a
// million states), and the matcher recurses once per state it passes
// without reading a character. Each buffer of the engine is held to 16 KiB
// (at most 1,024 states), far more than a pattern for a 40-character text
// needs; a pattern that needs more is refused.
constexpr size_t kMaxEngineBuffer = 16384;

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

using PatternEngine = rapidjson::internal::GenericRegex<rapidjson::UTF8<>, PatternAllocator>;

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

// Whether the engine can run the pattern. Where it has no answer of its own,
// the pattern is refused like one that does not compile:
// - a group or alternative with nothing in it, a group left open, or a
//   repetition with nothing before it: its parser asserts or reads outside
//   its stacks;
// - a repetition of something that matches the empty text ("(A*)*", "A**"):
//   its matcher loops without end;
// - a second alternative of a group that matches the empty text
//   ("(A?|B?)"): its matcher walks every way through such groups, twice as
//   many per group.
bool engineCanRun(const char* pattern) {
  std::vector<Group> groups(1);
  for (const char* c = pattern; *c; ++c) {
    switch (*c) {
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
        bool fromZero = *c != '+';
        if (*c == '{') {
          // The engine refuses whatever up to "}" is not a count.
          size_t digits = std::strspn(c + 1, "0123456789");
          fromZero = digits > 0 && std::strspn(c + 1, "0") == digits;
          while (*c && *c != '}') ++c;
          if (!*c) return false;
        }
        alternative.lastItemMatchesEmpty = fromZero;
        break;
      }
      case '^':
      case '$':
        break;
      case '[':
        while (c[1] && c[1] != ']') c += c[1] == '\\' && c[2] ? 2 : 1;
        if (c[1]) ++c;
        groups.back().current.add(false);
        break;
      case '\\':
        if (c[1]) ++c;
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
  if (!engineCanRun(pattern)) return false;
  try {
    PatternEngine engine(pattern);
    if (!engine.IsValid()) return false;
    found = engine.Search(text);
  } catch (const PatternTooLarge&) {
    return false;
  }
  return true;
}

}  // namespace VazidaRaduru
