#include "runlog/record_queue.h"

#include <limits>

namespace tallymark::runlog {

RecordQueue::RecordQueue(size_t capacity)
    : ring_(new Record[capacity > 0 ? capacity : 1]), capacity_(capacity > 0 ? capacity : 1) {}

void RecordQueue::addDropped(uint32_t n) {
  dropped_ = n > std::numeric_limits<uint32_t>::max() - dropped_
                 ? std::numeric_limits<uint32_t>::max()
                 : dropped_ + n;
}

void RecordQueue::push(const Record& record) {
  if (size_ == capacity_) {
    head_ = (head_ + 1) % capacity_;
    --size_;
    addDropped(1);
  }
  Record& slot = ring_[(head_ + size_) % capacity_];
  slot = record;
  slot.droppedBefore = 0;
  ++size_;
}

size_t RecordQueue::take(Record* out, size_t max) {
  size_t n = 0;
  for (; n < max && size_ > 0; ++n) {
    out[n] = ring_[head_];
    head_ = (head_ + 1) % capacity_;
    --size_;
  }
  if (n > 0) {
    out[0].droppedBefore = dropped_;
    dropped_ = 0;
  }
  return n;
}

}  // namespace tallymark::runlog
