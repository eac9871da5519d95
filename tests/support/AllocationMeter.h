// tests/support/AllocationMeter.h
// Counts what the program holds through operator new, so a test can say how much memory reading one
// file took at its peak. The replacement operators are defined in exactly one file of an executable:
// that file defines TORVANE_ALLOCATION_METER before it includes this header.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace allocation_meter {
inline std::atomic<size_t> current{0}, peak{0};
// Starts a new measurement: the peak from now on counts above what is held now.
inline size_t Begin() {
    peak.store(current.load());
    return current.load();
}
// The most held at once since Begin, above what was held then.
inline size_t PeakSince(size_t begin) { return peak.load() > begin ? peak.load() - begin : 0; }
}  // namespace allocation_meter

#ifdef TORVANE_ALLOCATION_METER
namespace allocation_meter {
// Each block carries its size in front of it (16 bytes, so the alignment stays).
constexpr size_t kHead = 16;
inline void* Take(size_t n) {
    unsigned char* p = static_cast<unsigned char*>(std::malloc(n + kHead));
    if (!p) return nullptr;
    *reinterpret_cast<size_t*>(p) = n;
    const size_t now = current.fetch_add(n) + n;
    for (size_t seen = peak.load(); now > seen && !peak.compare_exchange_weak(seen, now);) {
    }
    return p + kHead;
}
inline void Give(void* q) {
    if (!q) return;
    unsigned char* p = static_cast<unsigned char*>(q) - kHead;
    current.fetch_sub(*reinterpret_cast<size_t*>(p));
    std::free(p);
}
}  // namespace allocation_meter

void* operator new(size_t n) {
    if (void* p = allocation_meter::Take(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return allocation_meter::Take(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return allocation_meter::Take(n); }
void operator delete(void* p) noexcept { allocation_meter::Give(p); }
void operator delete[](void* p) noexcept { allocation_meter::Give(p); }
void operator delete(void* p, size_t) noexcept { allocation_meter::Give(p); }
void operator delete[](void* p, size_t) noexcept { allocation_meter::Give(p); }
#endif
