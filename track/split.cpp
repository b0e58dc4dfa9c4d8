#include "track/split.h"

#include <exception>
#include <system_error>
#if KETTORIN_SPLIT_THREADS
#include <thread>
#endif

namespace kettorin {

void RenderSplit(int64_t n, const std::function<void(int64_t, int64_t)>& render,
                 int64_t breakEven) {
  const int64_t middle = n / 2 / kSplitChunk * kSplitChunk;
#if KETTORIN_SPLIT_THREADS
  if (n >= breakEven && middle > 0) {
    std::exception_ptr secondFailed;
    std::thread second;
    try {
      second = std::thread([&] {
        try {
          render(middle, n);
        } catch (...) {
          secondFailed = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      render(0, n);  // no thread to be had: all of it here
      return;
    }
    std::exception_ptr firstFailed;
    try {
      render(0, middle);
    } catch (...) {
      firstFailed = std::current_exception();
    }
    second.join();
    if (firstFailed) std::rethrow_exception(firstFailed);
    if (secondFailed) std::rethrow_exception(secondFailed);
    return;
  }
#else
  (void)breakEven;
  (void)middle;
#endif
  render(0, n);
}

}  // namespace kettorin
