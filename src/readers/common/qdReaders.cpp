#include "qdReaders.h"

#include <chrono>
#include <cstring>
#include <filesystem>

#include "DXFConv.h"
#include "Others.h"
#include "SHXFontList.h"
#include "qdMappedFile.h"

namespace {

std::vector<TqdDrawingReader>& Readers() {
  static std::vector<TqdDrawingReader> R;
  return R;
}

}  // namespace

void qdRegisterDrawingReader(std::string_view AFormat, TqdDrawingLoadFn ALoad, bool ASequential) {
  for (TqdDrawingReader& R : Readers())
    if (R.Format == AFormat) {
      R.Load = ALoad;
      R.Sequential = ASequential;
      return;
    }
  Readers().push_back({std::string(AFormat), ALoad, ASequential});
}

const TqdDrawingReader* qdFindDrawingReader(std::string_view AFormat) {
  for (const TqdDrawingReader& R : Readers())
    if (R.Format == AFormat && R.Load) return &R;
  return nullptr;
}

TqdLoadResult qdLoadDrawing(std::string_view AFormat, const void* AData, std::size_t ASize,
                            TqdDXFConverter& AConverter, const TqdLoadOptions& AOptions) {
  const TqdDrawingReader* R = qdFindDrawingReader(AFormat);
  if (!R) {
    TqdLoadResult L;
    L.Error = "No reader for " + std::string(AFormat) + " drawings";
    return L;
  }
  return R->Load(AData, ASize, AConverter, AOptions);
}

std::string qdReadMappedFile(const std::string& APath, bool ASequential, const TqdProgressFn& AProgress,
                             const std::function<void(const void*, std::size_t, const TqdProgressFn&)>& ARead) {
  TqdMappedFile F;
  if (!F.Open(APath)) return "Cannot read " + APath + ": " + F.Error();
  TqdProgressFn Progress = AProgress;
  if (F.Mapped() && ASequential)
    Progress = [&F, &AProgress](std::size_t APos, std::size_t ALimit) {
      F.ReleaseBefore(APos);
      if (AProgress) AProgress(APos, ALimit);
    };
  ARead(F.Data(), F.Size(), Progress);
  return {};
}

TqdLoadResult qdLoadDrawingFile(std::string_view AFormat, const std::string& APath, TqdDXFConverter& AConverter,
                                const TqdLoadOptions& AOptions) {
  const auto T0 = std::chrono::steady_clock::now();
  const TqdDrawingReader* Reader = qdFindDrawingReader(AFormat);
  if (!Reader) return qdLoadDrawing(AFormat, nullptr, 0, AConverter, AOptions);
  TqdLoadResult R;
  const std::string Error = qdReadMappedFile(
      APath, Reader->Sequential, AOptions.OnProgress,
      [&](const void* AData, std::size_t ASize, const TqdProgressFn& AProgress) {
        AConverter.SetFileName(APath);
        // Fonts kept beside the drawing come first, for every program that loads it.
        if (TqdSHXFontList* L = AConverter.SHXFonts()) {
          std::error_code EC;
          const std::filesystem::path Dir = std::filesystem::absolute(APath, EC).parent_path();
          if (!EC) L->InsertSearchDir(Dir.string());
        }
        TqdLoadOptions Options = AOptions;
        Options.OnProgress = AProgress;
        R = Reader->Load(AData, ASize, AConverter, Options);
      });
  if (!Error.empty()) R.Error = Error;
  R.LoadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  return R;
}

std::string DXFClassName(const TqdDXFEntity& E) {
  std::string N = E.ClassName();
  for (const char* P : {"TqdDXF", "TqdCAD", "Tqd"})
    if (N.rfind(P, 0) == 0) {
      N.erase(0, std::strlen(P));
      break;
    }
  return UpperNameText(N);
}

std::string EntityTypeName(const TqdLoadResult& R, const TqdDXFEntity& E) {
  if (auto It = R.Names.find(&E); It != R.Names.end()) return std::string(It->second);
  if (const auto* P = dynamic_cast<const TqdDXFProxy*>(&E); P && !P->FDXFName.empty()) return P->FDXFName;
  return DXFClassName(E);
}
