#pragma once
// The hidden selection raster: every frame of a CAD image paints each top-level
// entity a second time, into this raster, in the colour of its number (1-based,
// in the order the frame met them). Reading a pixel then names the entity under
// it. The raster is redrawn whole with every frame, and the number list is
// replaced with it, so a pixel never names an entity of an older frame.
#include <QImage>
#include <cstdint>
#include <memory>
#include <vector>

#include "qdCanvas.h"

class TqdDXFEntity;
class TqdQtCanvas;

enum TqdSearchMode { smPoint, smSnail, smFillability };
enum TqdViewPortMode { vmEdge, vmFill };
enum TqdElementType { teEntity, teMarker };

// The raster's value for "no entity".
inline constexpr std::uint32_t cnstNoEntity = 0xFFFFFF;
// Entity numbers a 24-bit pixel can hold (0xFFFFFF is "no entity").
inline constexpr std::size_t cnstMaxSelectionNumbers = 0xFFFFFE;

class TqdSelectionMatrix {
 public:
  TqdSelectionMatrix();
  ~TqdSelectionMatrix();
  TqdSelectionMatrix(const TqdSelectionMatrix&) = delete;
  TqdSelectionMatrix& operator=(const TqdSelectionMatrix&) = delete;

  // ---- raster
  // Sizes below 1 x 1 give 1 x 1 (an empty raster selects nothing).
  void SetSize(TqdPoint Size);
  TqdPoint GetSize() const { return {FBitMap.width(), FBitMap.height()}; }
  const QImage& BitMap() const { return FBitMap; }
  // Every pixel to "no entity" and the number list emptied.
  void ClearFull();
  // Pixels of R (Right/Bottom exclusive) to "no entity"; the numbers stay.
  void ClearRect(const TqdIntRect& R);

  // ---- one frame
  // Sizes and clears the raster and returns the canvas the frame paints the
  // numbers on (antialiasing off, so the colours stay exact).
  TqdCanvas* BeginFrame(TqdPoint Size);
  // Ends painting; Numbers (entity n at index n - 1) becomes the number list.
  void EndFrame(std::vector<const TqdDXFEntity*>&& Numbers);
  // True while a frame paints.
  bool Painting() const { return FCanvas != nullptr; }
  // Forgets every number and clears the raster: the drawing is going away.
  void Detach() { ClearFull(); }
  // A frame has been painted since the last clear.
  bool Valid() const { return FValid; }

  // ---- numbers
  // Registers Item and answers its number; a null item adds nothing and answers
  // the current entity's number.
  std::uint32_t AddElement(const TqdDXFEntity* Item, TqdElementType Type = teEntity);
  // The entity count (the next number is this plus one).
  std::uint32_t GetCurrColor() const { return static_cast<std::uint32_t>(FEntities.size()); }
  const std::vector<const TqdDXFEntity*>& Entities() const { return FEntities; }
  // More numbers than a pixel holds: the raster cannot tell entities apart and
  // answers nothing.
  bool IsOverflow() const { return FEntities.size() > cnstMaxSelectionNumbers; }

  // ---- hit test
  int Precision() const { return FPrecision; }
  // A negative value restores the default 3; larger values are capped at 64.
  void SetPrecision(int V);
  TqdSearchMode SearchMode() const { return FSearchMode; }
  void SetSearchMode(TqdSearchMode M) { FSearchMode = M; }
  TqdViewPortMode ViewPortMode() const { return FViewPortMode; }
  void SetViewPortMode(TqdViewPortMode M) { FViewPortMode = M; }
  // The entity at client pixel (X, Y) by the search mode; null outside the raster,
  // before the first frame, on overflow and where no entity is painted.
  const TqdDXFEntity* GetElementInMatrix(int X, int Y);
  // Every entity in the search window around (X, Y), optionally without repeats.
  void GetElements(int X, int Y, bool Unique, std::vector<const TqdDXFEntity*>& List) const;
  // The pixel where the last hit was found; (0, 0) when none.
  TqdPoint PointByEntity() const { return FPointByEntity; }

  // The number at (X, Y), or cnstNoEntity outside the raster or for no entity.
  std::uint32_t NumberAt(int X, int Y) const;

 private:
  // The nearest pixel of number N walking a square spiral out from (X, Y) at
  // most Precision pixels away; false when none.
  bool Spiral(int X, int Y, std::uint32_t N, bool AnyValid, TqdPoint& Found, std::uint32_t& Got) const;
  bool IsValidNumber(std::uint32_t N) const { return N >= 1 && N <= FEntities.size() && !IsOverflow(); }

  QImage FBitMap;
  std::unique_ptr<TqdQtCanvas> FCanvas;
  std::vector<const TqdDXFEntity*> FEntities;
  int FPrecision = 3;
  TqdSearchMode FSearchMode = smFillability;
  TqdViewPortMode FViewPortMode = vmEdge;
  TqdPoint FPointByEntity;
  bool FValid = false;
};
