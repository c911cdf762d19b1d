#pragma once
// dynamic_cast with the answer remembered per dynamic type. The reader and the
// converter ask the same few questions of every entity; across the deep class tree a
// dynamic_cast walks type names, which made it a leading cost of loading large files.
#include <cstdint>
#include <typeinfo>
#include <unordered_map>

// P as a T*, or null when P is null or not a T. Only for single, non-virtual
// inheritance, where static_cast to the dynamic type's base is exact.
template <class T, class U>
T* CachedCast(U* P) {
  if (!P) return nullptr;
  // A few slots indexed by the type's address answer most questions without hashing.
  struct TSlot {
    const std::type_info* Id = nullptr;
    bool Is = false;
  };
  thread_local TSlot Slots[16];
  thread_local std::unordered_map<const std::type_info*, bool> Known;
  const std::type_info* Id = &typeid(*P);
  TSlot& S = Slots[(reinterpret_cast<std::uintptr_t>(Id) >> 4) & 15];
  if (S.Id != Id) {
    auto It = Known.find(Id);
    if (It == Known.end()) It = Known.emplace(Id, dynamic_cast<T*>(P) != nullptr).first;
    S = {Id, It->second};
  }
  return S.Is ? static_cast<T*>(P) : nullptr;
}
