#pragma once
// Typed growing arrays: one contiguous block of fixed-size items with optional
// sorting, binary search and a duplicates policy.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "qdConsts.h"
#include "qdError.h"

enum TqdListType {
  ltNil,
  ltList,
  ltFPoint,
  ltF2DPoint,
  ltDouble,
  ltSingle,
  ltFloat,
  ltInt64,
  ltInteger,
  ltPointer,
  ltHashItem
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

// Returns <0, 0 or >0 like memcmp.
using TqdCompareProc = int (*)(const void* A, const void* B);

class TqdBaseList {
public:
  // Largest count a list may hold; a larger request raises EqdListError.
  static constexpr int cnstMaxListCount = 0x7FFFFFF0;

  virtual ~TqdBaseList();
  TqdBaseList(const TqdBaseList& Other);
  TqdBaseList& operator=(const TqdBaseList& Other);
  // Moves take the block: vectors of point lists grow without copying points.
  TqdBaseList(TqdBaseList&& Other) noexcept;
  TqdBaseList& operator=(TqdBaseList&& Other);

  int Count() const { return FCount; }
  void SetCount(int ACount);
  int Capacity() const { return FCapacity; }
  void SetCapacity(int ACapacity);
  int High() const { return FCount - 1; }
  bool IsEmpty() const { return FCount == 0; }
  void Clear(bool ClearCapacity = true);

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
  TqdCompareProc ProcCompare() const { return FSortSmallerFunc; }
  // Setting a compare method re-sorts a sorted list.
  void SetProcCompare(TqdCompareProc Value);
  void Sort();

  void Delete(int Index);
  void DeleteRange(int Index, int ACount);
  void SwapItems(int I, int J);
  void Flip();
  void CyclicShiftLeft(int N = 1);
  void CyclicShiftRight(int N = 1);
  // Same type and count, and every pair of items compares 0 (raw bytes when Compare is null).
  bool IsEqual(const TqdBaseList& AList, TqdCompareProc Compare = nullptr) const;
  // Copies items and settings from a list of the same item type.
  void Assign(const TqdBaseList& Source);
  void AppendArray(const void* Items, int ACount);

  virtual TqdListType GetListType() const = 0;
  virtual std::string ToStr() const = 0;
  // Replaces the items with the parsed text; false (list unchanged) when malformed.
  virtual bool FromStr(std::string_view S) = 0;

  std::size_t ItemSize() const { return FItemSize; }
  const void* RawData() const { return FRawData; }
  void* RawData() { return FRawData; }

protected:
  TqdBaseList(std::size_t AItemSize, TqdCompareProc DefaultCompare);

  void* ItemPtr(int Index) { return FRawData + static_cast<std::size_t>(Index) * FItemSize; }
  const void* ItemPtr(int Index) const {
    return FRawData + static_cast<std::size_t>(Index) * FItemSize;
  }
  void CheckIndex(int Index) const;
  int AddRaw(const void* Item);
  void InsertRaw(int Index, const void* Item);
  // Binary search on sorted lists (lowest match), linear otherwise.
  bool FindRaw(const void* Item, int& Index) const;
  int CompareItems(const void* A, const void* B) const;
  void Grow(int MinCount);

  TqdCompareProc FSortSmallerFunc = nullptr;
  bool FSorted = false;
  TDuplicates FDuplicates = dupAccept;
  int FCount = 0;
  int FCapacity = 0;
  std::size_t FItemSize = 0;
  unsigned char* FRawData = nullptr;

private:
  void SortRange(int Lo, int Hi, unsigned char* Pivot);
  void InsertionSort(int Lo, int Hi, unsigned char* Tmp);
};

// Text forms used by ToStr/FromStr: items separated by ';', coordinates by ','.
namespace qdListText {
std::string FormatDouble(double V);
bool ParseDouble(std::string_view S, double& V);
bool ParseInt64(std::string_view S, std::int64_t& V);
} // namespace qdListText

template <class T, TqdListType LT> class TqdTypedList : public TqdBaseList {
public:
  TqdTypedList();
  explicit TqdTypedList(int ACount, int ACapacity = 0) : TqdTypedList() {
    SetCapacity(ACapacity > ACount ? ACapacity : ACount);
    SetCount(ACount);
  }
  TqdTypedList(std::initializer_list<T> Items) : TqdTypedList() {
    for (const T& v : Items) Add(v);
  }

  TqdListType GetListType() const override { return LT; }

  T& operator[](int Index) {
    CheckIndex(Index);
    return Data()[Index];
  }
  const T& operator[](int Index) const {
    CheckIndex(Index);
    return Data()[Index];
  }
  T GetItem(int Index) const { return (*this)[Index]; }
  void SetItem(int Index, const T& Value) { (*this)[Index] = Value; }
  T GetFirst() const { return (*this)[0]; }
  T GetLast() const { return (*this)[FCount - 1]; }
  void SetFirst(const T& Value) { (*this)[0] = Value; }
  void SetLast(const T& Value) { (*this)[FCount - 1] = Value; }

  int Add(const T& Value) {
    // Appending with room to spare: the hot path of every point list, kept inline.
    if (!FSorted && FCount < FCapacity) {
      Data()[FCount] = Value;
      return FCount++;
    }
    return AddRaw(&Value);
  }
  void Insert(int Index, const T& Value) { InsertRaw(Index, &Value); }
  int IndexOf(const T& Value) const {
    int i = -1;
    return FindRaw(&Value, i) ? i : -1;
  }
  // Position of Value, or where it would be inserted in a sorted list.
  bool Find(const T& Value, int& Index) const { return FindRaw(&Value, Index); }
  void AppendDynArray(const std::vector<T>& Items) {
    if (!Items.empty()) AppendArray(Items.data(), static_cast<int>(Items.size()));
  }
  std::vector<T> ToVector() const { return std::vector<T>(begin(), end()); }

  T* Data() { return reinterpret_cast<T*>(FRawData); }
  const T* Data() const { return reinterpret_cast<const T*>(FRawData); }
  T* begin() { return Data(); }
  T* end() { return Data() + FCount; }
  const T* begin() const { return Data(); }
  const T* end() const { return Data() + FCount; }

  std::string ToStr() const override;
  bool FromStr(std::string_view S) override;
};

#define QD_DECLARE_LIST(Name, T, LT)                                                               \
  class Name : public TqdTypedList<T, LT> {                                                        \
  public:                                                                                          \
    using TqdTypedList<T, LT>::TqdTypedList;                                                       \
  };

QD_DECLARE_LIST(TqdIntegerList, std::int32_t, ltInteger)
QD_DECLARE_LIST(TqdInt64List, std::int64_t, ltInt64)
QD_DECLARE_LIST(TqdSingleList, float, ltSingle)
QD_DECLARE_LIST(TqdDoubleList, double, ltDouble)
QD_DECLARE_LIST(TFPointList, TFPoint, ltFPoint)
QD_DECLARE_LIST(TF2DPointList, TF2DPoint, ltF2DPoint)
QD_DECLARE_LIST(TqdPointerList, void*, ltPointer)
#undef QD_DECLARE_LIST

// Key/object pairs kept sorted by key.
class TqdCollection : public TqdTypedList<TqdHashItem, ltHashItem> {
public:
  TqdCollection();
  // Adds or replaces the object under Key.
  void AddItem(std::uint64_t Key, void* Data);
  void* FindData(std::uint64_t Key) const;
  bool Contains(std::uint64_t Key) const;
  void RemoveKey(std::uint64_t Key);
};

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// A pointer list that reports every insertion, deletion and extraction to its owner.
class TListNotify {
public:
  using TNotifyProc = std::function<void(void* Item, TListNotification Action)>;

  TListNotify() = default;
  explicit TListNotify(TNotifyProc OnNotify) : FOnNotify(std::move(OnNotify)) {}
  ~TListNotify();
  TListNotify(const TListNotify&) = delete;
  TListNotify& operator=(const TListNotify&) = delete;

  void SetOnNotify(TNotifyProc Proc) { FOnNotify = std::move(Proc); }
  int Count() const { return FItems.Count(); }
  void* operator[](int Index) const { return FItems[Index]; }
  int Add(void* Item);
  void Insert(int Index, void* Item);
  void Delete(int Index);
  // Removes Item without deleting it; returns it (null when absent).
  void* Extract(void* Item);
  int Remove(void* Item);
  int IndexOf(void* Item) const { return FItems.IndexOf(Item); }
  void Clear();
  const TqdPointerList& Items() const { return FItems; }

private:
  void Notify(void* Item, TListNotification Action) {
    if (FOnNotify) FOnNotify(Item, Action);
  }
  TqdPointerList FItems;
  TNotifyProc FOnNotify;
};

// A pointer list guarded by a lock.
class TqdThreadContainerList {
public:
  TqdPointerList& LockList();
  void UnlockList();
  void Add(void* Item);
  void Remove(void* Item);
  void Clear();
  int Count();

private:
  std::recursive_mutex FLock;
  TqdPointerList FList;
};
