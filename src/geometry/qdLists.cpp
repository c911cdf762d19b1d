#include "qdLists.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>

// ---- default compare methods: raw values of the item type

namespace {
template <class T> int CompareValues(const void* A, const void* B) {
  const T& a = *static_cast<const T*>(A);
  const T& b = *static_cast<const T*>(B);
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareFPoints(const void* A, const void* B) {
  const auto* a = static_cast<const TFPoint*>(A);
  const auto* b = static_cast<const TFPoint*>(B);
  for (int i = 0; i < 3; ++i) {
    if ((*a)[i] < (*b)[i]) return -1;
    if ((*b)[i] < (*a)[i]) return 1;
  }
  return 0;
}

int CompareF2DPoints(const void* A, const void* B) {
  const auto* a = static_cast<const TF2DPoint*>(A);
  const auto* b = static_cast<const TF2DPoint*>(B);
  for (int i = 0; i < 2; ++i) {
    if ((*a)[i] < (*b)[i]) return -1;
    if ((*b)[i] < (*a)[i]) return 1;
  }
  return 0;
}

int ComparePointers(const void* A, const void* B) {
  const auto a = reinterpret_cast<std::uintptr_t>(*static_cast<void* const*>(A));
  const auto b = reinterpret_cast<std::uintptr_t>(*static_cast<void* const*>(B));
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareHashItems(const void* A, const void* B) {
  const auto a = static_cast<const TqdHashItem*>(A)->HashCode;
  const auto b = static_cast<const TqdHashItem*>(B)->HashCode;
  return a < b ? -1 : (b < a ? 1 : 0);
}

template <class T> TqdCompareProc DefaultCompare();
template <> TqdCompareProc DefaultCompare<std::int32_t>() {
  return CompareValues<std::int32_t>;
}
template <> TqdCompareProc DefaultCompare<std::int64_t>() {
  return CompareValues<std::int64_t>;
}
template <> TqdCompareProc DefaultCompare<float>() {
  return CompareValues<float>;
}
template <> TqdCompareProc DefaultCompare<double>() {
  return CompareValues<double>;
}
template <> TqdCompareProc DefaultCompare<TFPoint>() {
  return CompareFPoints;
}
template <> TqdCompareProc DefaultCompare<TF2DPoint>() {
  return CompareF2DPoints;
}
template <> TqdCompareProc DefaultCompare<void*>() {
  return ComparePointers;
}
template <> TqdCompareProc DefaultCompare<TqdHashItem>() {
  return CompareHashItems;
}
} // namespace

// ---- TqdBaseList

TqdBaseList::TqdBaseList(std::size_t AItemSize, TqdCompareProc Compare)
    : FSortSmallerFunc(Compare), FItemSize(AItemSize) {}

TqdBaseList::~TqdBaseList() {
  std::free(FRawData);
}

TqdBaseList::TqdBaseList(const TqdBaseList& Other)
    : FSortSmallerFunc(Other.FSortSmallerFunc), FSorted(Other.FSorted),
      FDuplicates(Other.FDuplicates), FItemSize(Other.FItemSize) {
  AppendArray(Other.FRawData, Other.FCount);
}

TqdBaseList& TqdBaseList::operator=(const TqdBaseList& Other) {
  if (this != &Other) Assign(Other);
  return *this;
}

TqdBaseList::TqdBaseList(TqdBaseList&& Other) noexcept
    : FSortSmallerFunc(Other.FSortSmallerFunc), FSorted(Other.FSorted),
      FDuplicates(Other.FDuplicates), FCount(Other.FCount), FCapacity(Other.FCapacity),
      FItemSize(Other.FItemSize), FRawData(Other.FRawData) {
  Other.FRawData = nullptr;
  Other.FCount = Other.FCapacity = 0;
}

TqdBaseList& TqdBaseList::operator=(TqdBaseList&& Other) {
  if (this == &Other) return *this;
  if (FItemSize != Other.FItemSize) {
    Assign(Other); // refuses lists of another item type, as a copy does
    return *this;
  }
  std::free(FRawData);
  FSortSmallerFunc = Other.FSortSmallerFunc;
  FSorted = Other.FSorted;
  FDuplicates = Other.FDuplicates;
  FCount = Other.FCount;
  FCapacity = Other.FCapacity;
  FRawData = Other.FRawData;
  Other.FRawData = nullptr;
  Other.FCount = Other.FCapacity = 0;
  return *this;
}

void TqdBaseList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= FCount)
    throw EqdListError("List index out of bounds (" + std::to_string(Index) + ")");
}

void TqdBaseList::SetCapacity(int ACapacity) {
  if (ACapacity < 0 || ACapacity > cnstMaxListCount)
    throw EqdListError("List capacity out of bounds (" + std::to_string(ACapacity) + ")");
  if (ACapacity == FCapacity) return;
  const std::size_t cap = static_cast<std::size_t>(ACapacity);
  if (cap != 0 && cap > std::numeric_limits<std::size_t>::max() / FItemSize)
    throw EqdListError("List capacity overflow");
  if (cap == 0) {
    std::free(FRawData);
    FRawData = nullptr;
  } else {
    void* p = std::realloc(FRawData, cap * FItemSize);
    if (!p) throw EqdListError("Out of memory for a list of " + std::to_string(ACapacity));
    FRawData = static_cast<unsigned char*>(p);
    if (ACapacity > FCapacity)
      std::memset(FRawData + static_cast<std::size_t>(FCapacity) * FItemSize, 0,
                  (cap - static_cast<std::size_t>(FCapacity)) * FItemSize);
  }
  FCapacity = ACapacity;
  if (FCount > FCapacity) FCount = FCapacity;
}

void TqdBaseList::Grow(int MinCount) {
  if (MinCount <= FCapacity) return;
  // Computed in 64 bits: c + c/4 must not wrap for counts near the maximum.
  const std::int64_t c = MinCount;
  std::int64_t cap = c > 64 ? c + c / 4 : (c < 9 ? c + 4 : c + 16);
  if (cap > cnstMaxListCount) cap = cnstMaxListCount;
  SetCapacity(static_cast<int>(cap));
}

void TqdBaseList::SetCount(int ACount) {
  if (ACount < 0 || ACount > cnstMaxListCount)
    throw EqdListError("List count out of bounds (" + std::to_string(ACount) + ")");
  if (ACount > FCapacity) Grow(ACount);
  if (ACount > FCount)
    std::memset(ItemPtr(FCount), 0, static_cast<std::size_t>(ACount - FCount) * FItemSize);
  FCount = ACount;
}

void TqdBaseList::Clear(bool ClearCapacity) {
  FCount = 0;
  if (ClearCapacity) SetCapacity(0);
}

int TqdBaseList::CompareItems(const void* A, const void* B) const {
  return FSortSmallerFunc ? FSortSmallerFunc(A, B) : std::memcmp(A, B, FItemSize);
}

void TqdBaseList::SetSorted(bool Value) {
  if (Value == FSorted) return;
  FSorted = Value;
  if (FSorted) Sort();
}

void TqdBaseList::SetProcCompare(TqdCompareProc Value) {
  FSortSmallerFunc = Value;
  if (FSorted) Sort();
}

void TqdBaseList::InsertionSort(int Lo, int Hi, unsigned char* Tmp) {
  for (int i = Lo + 1; i <= Hi; ++i) {
    std::memcpy(Tmp, ItemPtr(i), FItemSize);
    int j = i - 1;
    while (j >= Lo && CompareItems(ItemPtr(j), Tmp) > 0) {
      std::memcpy(ItemPtr(j + 1), ItemPtr(j), FItemSize);
      --j;
    }
    std::memcpy(ItemPtr(j + 1), Tmp, FItemSize);
  }
}

// Index-bounded quicksort: every scan stops at the range ends, so a compare method
// that is not a strict ordering (tolerant equality, NaN) still terminates in bounds.
void TqdBaseList::SortRange(int Lo, int Hi, unsigned char* Pivot) {
  while (Hi - Lo + 1 >= 13) {
    std::memcpy(Pivot, ItemPtr(Lo + (Hi - Lo) / 2), FItemSize);
    int i = Lo, j = Hi;
    while (i <= j) {
      while (i <= Hi && CompareItems(ItemPtr(i), Pivot) < 0) ++i;
      while (j >= Lo && CompareItems(ItemPtr(j), Pivot) > 0) --j;
      if (i <= j) {
        SwapItems(i, j);
        ++i;
        --j;
      }
    }
    if (j >= Hi || i <= Lo) break; // no progress: finish with the simple sort
    if (j - Lo < Hi - i) {
      SortRange(Lo, j, Pivot);
      Lo = i;
    } else {
      SortRange(i, Hi, Pivot);
      Hi = j;
    }
  }
  if (Hi > Lo) InsertionSort(Lo, Hi, Pivot);
}

void TqdBaseList::Sort() {
  if (FCount < 2) return;
  std::unique_ptr<unsigned char[]> tmp(new unsigned char[FItemSize]);
  SortRange(0, FCount - 1, tmp.get());
}

bool TqdBaseList::FindRaw(const void* Item, int& Index) const {
  if (FSorted) {
    int lo = 0, hi = FCount - 1;
    bool found = false;
    while (lo <= hi) {
      const int mid = lo + (hi - lo) / 2;
      const int c = CompareItems(ItemPtr(mid), Item);
      if (c < 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
        if (c == 0) found = true;
      }
    }
    Index = lo;
    return found;
  }
  for (int i = 0; i < FCount; ++i)
    if (CompareItems(ItemPtr(i), Item) == 0) {
      Index = i;
      return true;
    }
  Index = FCount;
  return false;
}

int TqdBaseList::AddRaw(const void* Item) {
  if (!FSorted) {
    // Appending with room to spare moves nothing: the common case of building point lists.
    if (FCount < FCapacity) {
      std::memmove(ItemPtr(FCount), Item, FItemSize);
      return FCount++;
    }
    InsertRaw(FCount, Item);
    return FCount - 1;
  }
  int index = 0;
  if (FindRaw(Item, index)) {
    if (FDuplicates != dupAccept) return index;
  }
  InsertRaw(index, Item);
  return index;
}

void TqdBaseList::InsertRaw(int Index, const void* Item) {
  if (Index < 0 || Index > FCount)
    throw EqdListError("List index out of bounds (" + std::to_string(Index) + ")");
  if (FCount >= cnstMaxListCount) throw EqdListError("List count overflow");
  // Item may point into this list: copy it before the storage moves. Only then: a
  // heap copy per insert dominated loading large drawings.
  const auto* Src = static_cast<const unsigned char*>(Item);
  std::unique_ptr<unsigned char[]> copy;
  if (FRawData && std::less_equal<>()(FRawData, Src) &&
      std::less<>()(Src, FRawData + static_cast<std::size_t>(FCapacity) * FItemSize)) {
    copy.reset(new unsigned char[FItemSize]);
    std::memcpy(copy.get(), Item, FItemSize);
    Src = copy.get();
  }
  Grow(FCount + 1);
  if (Index < FCount)
    std::memmove(ItemPtr(Index + 1), ItemPtr(Index),
                 static_cast<std::size_t>(FCount - Index) * FItemSize);
  std::memcpy(ItemPtr(Index), Src, FItemSize);
  ++FCount;
}

void TqdBaseList::Delete(int Index) {
  DeleteRange(Index, 1);
}

void TqdBaseList::DeleteRange(int Index, int ACount) {
  if (ACount <= 0) return;
  CheckIndex(Index);
  if (ACount > FCount - Index) ACount = FCount - Index;
  const int tail = FCount - Index - ACount;
  if (tail > 0)
    std::memmove(ItemPtr(Index), ItemPtr(Index + ACount),
                 static_cast<std::size_t>(tail) * FItemSize);
  FCount -= ACount;
}

void TqdBaseList::SwapItems(int I, int J) {
  CheckIndex(I);
  CheckIndex(J);
  if (I == J) return;
  unsigned char* a = static_cast<unsigned char*>(ItemPtr(I));
  unsigned char* b = static_cast<unsigned char*>(ItemPtr(J));
  for (std::size_t k = 0; k < FItemSize; ++k) std::swap(a[k], b[k]);
}

void TqdBaseList::Flip() {
  for (int i = 0, j = FCount - 1; i < j; ++i, --j) SwapItems(i, j);
}

namespace {
void RotateBytes(unsigned char* data, std::size_t count, std::size_t itemSize, std::size_t left) {
  // Three reversals rotate in place.
  auto reverse = [&](std::size_t lo, std::size_t hi) {
    while (lo + 1 < hi + 1 && lo < hi) {
      for (std::size_t k = 0; k < itemSize; ++k)
        std::swap(data[lo * itemSize + k], data[hi * itemSize + k]);
      ++lo;
      --hi;
    }
  };
  if (count < 2 || left == 0) return;
  reverse(0, left - 1);
  reverse(left, count - 1);
  reverse(0, count - 1);
}
} // namespace

void TqdBaseList::CyclicShiftLeft(int N) {
  if (FCount < 2) return;
  const int k = ((N % FCount) + FCount) % FCount;
  RotateBytes(FRawData, static_cast<std::size_t>(FCount), FItemSize, static_cast<std::size_t>(k));
}

void TqdBaseList::CyclicShiftRight(int N) {
  if (FCount < 2) return;
  const int k = ((N % FCount) + FCount) % FCount;
  CyclicShiftLeft(FCount - k);
}

bool TqdBaseList::IsEqual(const TqdBaseList& AList, TqdCompareProc Compare) const {
  if (AList.GetListType() != GetListType() || AList.FCount != FCount) return false;
  for (int i = 0; i < FCount; ++i) {
    const int c = Compare ? Compare(ItemPtr(i), AList.ItemPtr(i))
                          : std::memcmp(ItemPtr(i), AList.ItemPtr(i), FItemSize);
    if (c != 0) return false;
  }
  return true;
}

void TqdBaseList::Assign(const TqdBaseList& Source) {
  if (&Source == this) return;
  if (Source.FItemSize != FItemSize) throw EqdListError("Cannot assign lists of different types");
  FSortSmallerFunc = Source.FSortSmallerFunc;
  FDuplicates = Source.FDuplicates;
  FSorted = Source.FSorted;
  FCount = 0;
  AppendArray(Source.FRawData, Source.FCount);
}

void TqdBaseList::AppendArray(const void* Items, int ACount) {
  if (ACount <= 0 || !Items) return;
  if (ACount > cnstMaxListCount - FCount) throw EqdListError("List count overflow");
  Grow(FCount + ACount);
  std::memmove(ItemPtr(FCount), Items, static_cast<std::size_t>(ACount) * FItemSize);
  FCount += ACount;
  if (FSorted) Sort();
}

// ---- text forms

namespace qdListText {
std::string FormatDouble(double V) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, V);
  return std::string(buf, r.ptr);
}

static std::string_view Trim(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t')) S.remove_suffix(1);
  return S;
}

bool ParseDouble(std::string_view S, double& V) {
  S = Trim(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  if (S.empty()) return false;
  auto r = std::from_chars(S.data(), S.data() + S.size(), V);
  return r.ec == std::errc() && r.ptr == S.data() + S.size() && std::isfinite(V);
}

bool ParseInt64(std::string_view S, std::int64_t& V) {
  S = Trim(S);
  if (!S.empty() && S.front() == '+') S.remove_prefix(1);
  if (S.empty()) return false;
  auto r = std::from_chars(S.data(), S.data() + S.size(), V);
  return r.ec == std::errc() && r.ptr == S.data() + S.size();
}
} // namespace qdListText

namespace {
using qdListText::FormatDouble;

template <class T> std::string ItemToStr(const T& V);
template <> std::string ItemToStr(const std::int32_t& V) {
  return std::to_string(V);
}
template <> std::string ItemToStr(const std::int64_t& V) {
  return std::to_string(V);
}
template <> std::string ItemToStr(const float& V) {
  return FormatDouble(V);
}
template <> std::string ItemToStr(const double& V) {
  return FormatDouble(V);
}
template <> std::string ItemToStr(const TFPoint& V) {
  return FormatDouble(V.X) + "," + FormatDouble(V.Y) + "," + FormatDouble(V.Z);
}
template <> std::string ItemToStr(const TF2DPoint& V) {
  return FormatDouble(V.X) + "," + FormatDouble(V.Y);
}
template <> std::string ItemToStr(void* const& V) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(V));
}
template <> std::string ItemToStr(const TqdHashItem& V) {
  return std::to_string(V.HashCode) + "," +
         std::to_string(reinterpret_cast<std::uintptr_t>(V.Data));
}

std::vector<std::string_view> Split(std::string_view S, char Sep) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t p = S.find(Sep, start);
    parts.push_back(
        S.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
    if (p == std::string_view::npos) break;
    start = p + 1;
  }
  return parts;
}

bool ParseDoubles(std::string_view S, double* Out, std::size_t N) {
  auto parts = Split(S, ',');
  if (parts.size() != N) return false;
  for (std::size_t i = 0; i < N; ++i)
    if (!qdListText::ParseDouble(parts[i], Out[i])) return false;
  return true;
}

template <class T> bool ItemFromStr(std::string_view S, T& V);
template <> bool ItemFromStr(std::string_view S, std::int32_t& V) {
  std::int64_t v;
  if (!qdListText::ParseInt64(S, v) || v < INT32_MIN || v > INT32_MAX) return false;
  V = static_cast<std::int32_t>(v);
  return true;
}
template <> bool ItemFromStr(std::string_view S, std::int64_t& V) {
  return qdListText::ParseInt64(S, V);
}
template <> bool ItemFromStr(std::string_view S, double& V) {
  return qdListText::ParseDouble(S, V);
}
template <> bool ItemFromStr(std::string_view S, float& V) {
  double d;
  if (!qdListText::ParseDouble(S, d) || std::fabs(d) > std::numeric_limits<float>::max())
    return false;
  V = static_cast<float>(d);
  return true;
}
template <> bool ItemFromStr(std::string_view S, TFPoint& V) {
  double d[3];
  if (!ParseDoubles(S, d, 3)) return false;
  V = {d[0], d[1], d[2]};
  return true;
}
template <> bool ItemFromStr(std::string_view S, TF2DPoint& V) {
  double d[2];
  if (!ParseDoubles(S, d, 2)) return false;
  V = {d[0], d[1]};
  return true;
}
// Pointers and hash items have no meaningful text form to read back.
template <> bool ItemFromStr(std::string_view, void*&) {
  return false;
}
template <> bool ItemFromStr(std::string_view, TqdHashItem&) {
  return false;
}
} // namespace

template <class T, TqdListType LT>
TqdTypedList<T, LT>::TqdTypedList() : TqdBaseList(sizeof(T), DefaultCompare<T>()) {}

template <class T, TqdListType LT> std::string TqdTypedList<T, LT>::ToStr() const {
  std::string s;
  for (int i = 0; i < FCount; ++i) {
    if (i) s += ';';
    s += ItemToStr<T>(Data()[i]);
  }
  return s;
}

template <class T, TqdListType LT> bool TqdTypedList<T, LT>::FromStr(std::string_view S) {
  std::vector<T> items;
  if (!qdListText::Trim(S).empty()) {
    for (std::string_view part : Split(S, ';')) {
      T v{};
      if (!ItemFromStr<T>(part, v)) return false;
      items.push_back(v);
    }
  }
  Clear(false);
  AppendDynArray(items);
  return true;
}

template class TqdTypedList<std::int32_t, ltInteger>;
template class TqdTypedList<std::int64_t, ltInt64>;
template class TqdTypedList<float, ltSingle>;
template class TqdTypedList<double, ltDouble>;
template class TqdTypedList<TFPoint, ltFPoint>;
template class TqdTypedList<TF2DPoint, ltF2DPoint>;
template class TqdTypedList<void*, ltPointer>;
template class TqdTypedList<TqdHashItem, ltHashItem>;

// ---- TqdCollection

TqdCollection::TqdCollection() {
  SetDuplicates(dupIgnore);
  SetSorted(true);
}

void TqdCollection::AddItem(std::uint64_t Key, void* AData) {
  TqdHashItem item{Key, AData};
  int index = 0;
  if (FindRaw(&item, index))
    Data()[index].Data = AData;
  else
    InsertRaw(index, &item);
}

void* TqdCollection::FindData(std::uint64_t Key) const {
  TqdHashItem item{Key, nullptr};
  int index = 0;
  return FindRaw(&item, index) ? Data()[index].Data : nullptr;
}

bool TqdCollection::Contains(std::uint64_t Key) const {
  TqdHashItem item{Key, nullptr};
  int index = 0;
  return FindRaw(&item, index);
}

void TqdCollection::RemoveKey(std::uint64_t Key) {
  TqdHashItem item{Key, nullptr};
  int index = 0;
  if (FindRaw(&item, index)) Delete(index);
}

// ---- TListNotify

TListNotify::~TListNotify() {
  FOnNotify = nullptr;
}

int TListNotify::Add(void* Item) {
  const int i = FItems.Add(Item);
  Notify(Item, lnAdded);
  return i;
}

void TListNotify::Insert(int Index, void* Item) {
  FItems.Insert(Index, Item);
  Notify(Item, lnAdded);
}

void TListNotify::Delete(int Index) {
  void* item = FItems[Index];
  FItems.Delete(Index);
  Notify(item, lnDeleted);
}

void* TListNotify::Extract(void* Item) {
  const int i = FItems.IndexOf(Item);
  if (i < 0) return nullptr;
  FItems.Delete(i);
  Notify(Item, lnExtracted);
  return Item;
}

int TListNotify::Remove(void* Item) {
  const int i = FItems.IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

void TListNotify::Clear() {
  while (FItems.Count() > 0) Delete(FItems.Count() - 1);
  FItems.Clear();
}

// ---- TqdThreadContainerList

TqdPointerList& TqdThreadContainerList::LockList() {
  FLock.lock();
  return FList;
}

void TqdThreadContainerList::UnlockList() {
  FLock.unlock();
}

void TqdThreadContainerList::Add(void* Item) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  if (FList.IndexOf(Item) < 0) FList.Add(Item);
}

void TqdThreadContainerList::Remove(void* Item) {
  std::lock_guard<std::recursive_mutex> g(FLock);
  const int i = FList.IndexOf(Item);
  if (i >= 0) FList.Delete(i);
}

void TqdThreadContainerList::Clear() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  FList.Clear();
}

int TqdThreadContainerList::Count() {
  std::lock_guard<std::recursive_mutex> g(FLock);
  return FList.Count();
}
