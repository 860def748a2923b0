// 64-byte aligned storage for the likelihood tables, so that the kernels' vector loads of a
// pattern's four states never straddle a cache line.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

template <class T>
struct AlignedAllocator {
    using value_type = T;
    AlignedAllocator() = default;
    template <class U>
    AlignedAllocator(const AlignedAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* p = ::operator new(n * sizeof(T), std::align_val_t(64), std::nothrow);
        if (!p) {
            printf("Can't memalloc likelihood table\n");
            exit(1);
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
    template <class U>
    bool operator==(const AlignedAllocator<U>&) const { return true; }
};
using AlignedDoubles = std::vector<double, AlignedAllocator<double>>;
