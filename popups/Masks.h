// Title rule masks: "*", "?" and "[...]" sets (ranges, "!" negation), matched against whole titles.
// Masks and titles are UTF-8 and a character is a code point; letter case is ignored by Unicode
// simple case folding (base/CaseFold.h).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace zorvex {

// Raised for a mask that does not compile: "'<mask>' is an invalid mask at (<1-based position>)",
// the position counted in characters (code points), not bytes.
class EMaskException : public std::runtime_error {
public:
  // Builds the message for the whole mask text and the position of the fault.
  EMaskException(const std::string& mask, std::size_t position);
  // The 1-based position in the mask that the message names.
  std::size_t Position() const { return position_; }

private:
  std::size_t position_;
};

namespace detail {

// Keeps the first N items in place and goes to the heap only beyond that, so short masks never allocate.
template <class T, std::size_t N>
class SmallVector {
public:
  // Empty; the fixed part stays uninitialised until used.
  SmallVector() {}
  // Copies only the items in use.
  SmallVector(const SmallVector& other) { CopyFrom(other); }
  // Takes the heap part; the source is left empty.
  SmallVector(SmallVector&& other) noexcept { MoveFrom(other); }
  // Copies only the items in use.
  SmallVector& operator=(const SmallVector& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  // Takes the heap part; the source is left empty.
  SmallVector& operator=(SmallVector&& other) noexcept {
    if (this != &other) MoveFrom(other);
    return *this;
  }

  // Appends an item, left for the caller to fill in, and returns it.
  T& Grow() {
    if (size_ < N) return fixed_[size_++];
    if (size_ == N) spill_.assign(fixed_.begin(), fixed_.end());
    ++size_;
    return spill_.emplace_back();
  }
  // Makes an empty vector hold n items, left for the caller to fill in, and returns them.
  T* Resize(std::size_t n) {
    size_ = n;
    if (n <= N) return fixed_.data();
    spill_.resize(n);
    return spill_.data();
  }
  // The items in order.
  const T* Data() const { return size_ <= N ? fixed_.data() : spill_.data(); }
  T* Data() { return size_ <= N ? fixed_.data() : spill_.data(); }
  // Number of items.
  std::size_t Size() const { return size_; }

private:
  void CopyFrom(const SmallVector& other) {
    size_ = other.size_;
    if (size_ <= N) {
      std::copy_n(other.fixed_.begin(), size_, fixed_.begin());
      spill_.clear();
    } else {
      spill_ = other.spill_;
    }
  }
  void MoveFrom(SmallVector& other) noexcept {
    size_ = other.size_;
    if (size_ <= N) {
      std::copy_n(other.fixed_.begin(), size_, fixed_.begin());
      spill_.clear();
    } else {
      spill_ = std::move(other.spill_);
    }
    other.size_ = 0;
    other.spill_.clear();
  }

  std::array<T, N> fixed_;  // valid up to size_ while size_ <= N
  std::vector<T> spill_;    // holds every item once size_ > N
  std::size_t size_ = 0;
};

}  // namespace detail

// A text made ready for testing against many masks: read up to its first zero byte, and folded once
// when it holds characters beyond ASCII, instead of once per mask.
class TMaskText {
public:
  explicit TMaskText(const std::string& text);

private:
  friend class TMask;
  std::string text_;  // the text up to its first zero byte; folded, without invalid UTF-8, unless ASCII
  bool ascii_ = true;
};

// A compiled mask. Immutable after construction: one object may be tested from several threads at once.
// Copies are independent; a mask that was moved from fits nothing.
class TMask {
public:
  // Compiles the mask (up to its first zero byte); throws EMaskException when it is invalid. An
  // invalid UTF-8 sequence reads as one U+FFFD.
  explicit TMask(const std::string& mask);
  // True when the whole text (up to its first zero byte) fits, letter case ignored. Time linear in
  // the text's length for a given mask.
  bool Fits(const std::string& text) const;
  // The same for a text made ready once.
  bool Fits(const TMaskText& text) const;

private:
  enum Kind : std::uint8_t { kRun, kAny, kSet, kEnd };
  struct Token {
    Kind kind;
    bool skip;             // preceded by "*"
    std::uint32_t at;      // run: offset into key_; set: index into sets_
    std::uint32_t length;  // run: bytes
    // Skip tokens only: the token after the stretch that this one starts (the next skip token); the
    // long run of that stretch that a search looks for first (kNoAnchor: none) with its offset into
    // borders_; or the index in plans_ of the bit-parallel search for a long stretch (kNoPlan: none).
    std::uint32_t end, anchor, borders, plan;
  };
  // A long stretch of several pieces, searched bit-parallel: bit j of the state says that the
  // stretch's first j+1 characters end at the character just read.
  struct Plan {
    std::uint32_t chars;  // characters of the stretch
    std::uint32_t words;  // 64-bit words per row
    std::uint32_t masks;  // offset into masks_ of 128 rows, one per ASCII byte: the positions it fits
    // Beyond ASCII: intervals of code points that every piece answers alike, from starts_ on, and
    // their rows from masks_ on.
    std::uint32_t intervals, intervalCount, intervalMasks;
  };
  // A set over code points: ASCII in a bitmap (a-z answering as A-Z, negation applied), the
  // rest as ranges of folded code points in ranges_.
  struct Set {
    std::array<std::uint64_t, 2> ascii;
    std::uint32_t rangeAt, rangeCount;
    bool negate;
  };
  struct Range {
    char32_t first, last;
  };
  // The text as the matcher reads it: UTF-8 without invalid sequences, up to its first zero byte.
  struct Text {
    const unsigned char* s;
    std::size_t size;
    bool ascii;
  };

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::uint32_t kNoAnchor = static_cast<std::uint32_t>(-1);
  static constexpr std::uint32_t kNoPlan = static_cast<std::uint32_t>(-1);

  [[noreturn]] void Fail(const std::string& mask, std::size_t at) const;
  Token& Append(Kind kind, const std::string& mask, std::size_t at);
  std::size_t ReadSet(const std::string& mask, std::size_t at);
  void AddToSet(Set& set, char32_t first, char32_t last);
  void PlanStretches();
  bool InSet(const Set& set, char32_t c) const;
  std::size_t Width(const Token& token, const Text& text, std::size_t p) const;
  std::size_t Seek(const Token& token, const Text& text, std::size_t from, bool pairs) const;
  std::size_t FindStretch(std::size_t i, const Text& text, std::size_t from) const;
  std::size_t FindByAnchor(std::size_t i, const Text& text, std::size_t from) const;
  std::size_t FindByPlan(const Plan& plan, const Text& text, std::size_t from) const;
  void MakePlan(std::size_t from, std::size_t to, std::uint32_t chars);
  std::uint32_t RunChars(const Token& token) const;
  bool FitsStretchAt(std::size_t from, std::size_t to, const Text& text, std::size_t& p) const;
  bool FitsTail(const Text& text, std::size_t from) const;
  bool FitsText(const Text& text) const;

  // The mask in the form tokens compare with: case folded, then a-z as A-Z; zero-terminated.
  detail::SmallVector<unsigned char, 128> key_;
  detail::SmallVector<Token, 32> tokens_;
  detail::SmallVector<Set, 4> sets_;
  detail::SmallVector<Range, 4> ranges_;
  // Border lengths (the failure function of a linear string search) of each anchor run.
  std::vector<std::uint32_t> borders_;
  std::vector<Plan> plans_;
  std::vector<std::uint64_t> masks_;
  std::vector<char32_t> starts_;
  std::size_t lastSkip_ = kNone;  // index of the last token with skip
  std::size_t tailChars_ = 0;     // characters the tokens from lastSkip_ on take
  // Compile state.
  bool pending_ = false;  // a "*" waits for the next token
  int skips_ = 0;
};

// Compiles the mask and tests the text with it; the EMaskException of an invalid mask passes to the caller.
bool FitsMask(const std::string& text, const std::string& mask);

}  // namespace zorvex
