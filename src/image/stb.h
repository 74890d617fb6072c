// The stb libraries as the image room builds them: the memory their
// allocations come from, and a bound on it while one picture decodes.
#ifndef TORVEL_IMAGE_STB_H
#define TORVEL_IMAGE_STB_H

#include <cstddef>
#include <cstdint>

namespace torvel {

// Zeroed blocks for stb and for pixels handed on with its own; nothing when
// the memory cannot be had or a budget is spent.
void *stbAllocate(std::size_t Size);
void *stbReallocate(void *Block, std::size_t Size);
void stbRelease(void *Block);

// While one lives, the blocks allocated on this thread may hold Bytes in all;
// any allocation beyond fails. Budgets do not nest.
class StbBudget {
public:
  explicit StbBudget(std::uint64_t Bytes);
  ~StbBudget();
  StbBudget(const StbBudget &) = delete;
  StbBudget &operator=(const StbBudget &) = delete;

  // True when an allocation failed for want of budget.
  bool exceeded() const;
};

} // namespace torvel

#endif
