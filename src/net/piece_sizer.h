#pragma once
// Piece size for counted reads. Counted reads exist so that the received-byte
// counter moves in small steps while another thread shows progress; a
// blocking read of a fixed 14336 bytes does that on any line, but costs one
// call per 14 KiB, which caps a fast local line far below its rate. The piece
// therefore doubles while reads complete quickly and halves when one takes
// long, so each step stays short in time rather than in bytes.

namespace ksnet {

class PieceSizer {
 public:
  static constexpr double kGrowBelowMs = 8.0;
  static constexpr double kShrinkAboveMs = 30.0;

  PieceSizer(int minimum, int maximum) : minimum_(minimum), maximum_(maximum), size_(minimum) {}
  int size() const { return size_; }

  // The time the last read of size() bytes took.
  void Record(double milliseconds) {
    if (milliseconds < kGrowBelowMs && size_ <= maximum_ / 2) {
      size_ *= 2;
    } else if (milliseconds > kShrinkAboveMs && size_ / 2 >= minimum_) {
      size_ /= 2;
    }
  }

 private:
  int minimum_;
  int maximum_;
  int size_;
};

}  // namespace ksnet
