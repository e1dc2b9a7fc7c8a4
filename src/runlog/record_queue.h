// The records waiting for the disk: a ring of fixed capacity, filled by the update tick
// and emptied by the writer thread. Not locked itself; the writer's lock guards it.
#pragma once

#include <cstddef>
#include <memory>

#include "runlog/record.h"

namespace tallymark::runlog {

class RecordQueue {
 public:
  // Allocates the whole ring now; nothing later allocates.
  explicit RecordQueue(size_t capacity);

  // Adds `record` behind the others. When the ring is full the oldest record is
  // dropped to make room, and counted.
  void push(const Record& record);
  // Moves up to `max` of the oldest records into `out` and returns how many. The first
  // of them carries in droppedBefore the records dropped since the last take.
  size_t take(Record* out, size_t max);

  // Counts `n` records dropped before they reached the queue.
  void addDropped(uint32_t n);

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

 private:
  std::unique_ptr<Record[]> ring_;
  size_t capacity_;
  size_t head_ = 0;  // the oldest record
  size_t size_ = 0;
  uint32_t dropped_ = 0;
};

}  // namespace tallymark::runlog
