// Title rule masks: "*", "?" and "[...]" sets (ranges, "!" negation), matched against whole titles.
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

// Tells whether a byte starts a two-byte character of the system code page.
using LeadByteTest = bool (*)(unsigned char);

// Sets the process-wide lead-byte test used when masks are compiled; nullptr (the default) means no lead bytes.
void SetLeadByteTest(LeadByteTest test);

// Raised for a mask that does not compile: "'<mask>' is an invalid mask at (<1-based position>)".
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

// A compiled mask. Immutable after construction: one object may be tested from several threads at once.
// Copies are independent; a mask that was moved from fits nothing.
class TMask {
public:
  // Compiles the mask (up to its first zero byte); throws EMaskException when it is invalid.
  explicit TMask(const std::string& mask);
  // True when the whole text (up to its first zero byte) fits; a-z and A-Z are equal, other bytes exact.
  bool Fits(const std::string& text) const;

private:
  enum Kind : std::uint8_t { kRun, kAny, kSet, kDouble, kEnd };
  struct Token {
    Kind kind;
    bool skip;                 // preceded by "*"
    std::uint8_t lead, trail;  // double-byte character
    std::uint32_t at;          // run: offset into upper_; set: index into sets_
    std::uint32_t length;      // run: bytes
  };
  // Bytes of the text the set accepts, with case folding and negation already applied.
  using Set = std::array<std::uint64_t, 4>;

  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  Token& Append(Kind kind, const std::string& mask, std::size_t position);
  std::size_t ReadSet(const std::string& mask, std::size_t at, LeadByteTest isLead);
  bool Accepts(const Token& token, const unsigned char* at, std::size_t readable) const;
  const unsigned char* Seek(const Token& token, const unsigned char* from, std::size_t readable) const;
  bool FitsTail(const unsigned char* text, std::size_t from) const;

  // Runs of plain characters, the most common token, point into this upper-cased copy of the mask.
  detail::SmallVector<unsigned char, 128> upper_;
  detail::SmallVector<Token, 32> tokens_;
  detail::SmallVector<Set, 4> sets_;
  std::size_t lastSkip_ = kNone;  // index of the last token with skip
  std::size_t tail_ = 0;          // bytes the tokens from lastSkip_ on take
  // Compile state.
  bool pending_ = false;  // a "*" waits for the next token
  int skips_ = 0;
};

// Compiles the mask and tests the text with it; the EMaskException of an invalid mask passes to the caller.
bool FitsMask(const std::string& text, const std::string& mask);

}  // namespace zorvex
