// Work spread over several threads whose results are taken strictly in
// order: item i may be produced by any worker at any time, but the caller
// receives it only after items 0 … i-1. Workers run at most `ahead` items
// past the last one taken, so no more results than that are alive at once.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qm {

template <typename Result>
class OrderedWork {
 public:
  using Produce = std::function<Result(std::size_t index)>;

  OrderedWork(std::size_t count, std::size_t threads, std::size_t ahead, Produce produce)
      : count_(count), ahead_(std::max<std::size_t>(ahead, 1)), produce_(std::move(produce)) {
    threads = std::min(std::max<std::size_t>(threads, 1), std::max<std::size_t>(count, 1));
    try {
      for (std::size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked for; with none, TakeNext produces itself.
    }
  }

  // Waits for the workers, which stop after the item they are producing.
  ~OrderedWork() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
  }

  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  // The next item in order, once it is ready; at most `count` calls.
  Result TakeNext() {
    std::unique_lock lock(mutex_);
    if (workers_.empty()) {
      const std::size_t index = taken_++;
      lock.unlock();
      return produce_(index);
    }
    changed_.wait(lock, [&] { return ready_.count(taken_) != 0; });
    auto item = ready_.extract(taken_++);
    lock.unlock();
    changed_.notify_all();  // a worker may start the next item now
    return std::move(item.mapped());
  }

 private:
  void Work() {
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock,
                      [&] { return stopping_ || next_ >= count_ || next_ < taken_ + ahead_; });
        if (stopping_ || next_ >= count_) return;
        index = next_++;
      }
      Result result = produce_(index);
      {
        std::lock_guard lock(mutex_);
        ready_.emplace(index, std::move(result));
      }
      changed_.notify_all();
    }
  }

  const std::size_t count_;
  const std::size_t ahead_;
  const Produce produce_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;   // the next item a worker starts
  std::size_t taken_ = 0;  // the next item the caller takes
  bool stopping_ = false;
  std::map<std::size_t, Result> ready_;
  std::vector<std::thread> workers_;  // last: started once the rest is set
};

}  // namespace qm
