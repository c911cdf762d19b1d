#include "qdGraphic.h"

#include <algorithm>

#include "qdError.h"

std::string qdFileExtension(std::string_view FileName) {
  const std::size_t Slash = FileName.find_last_of("/\\");
  const std::size_t Dot = FileName.rfind('.');
  if (Dot == std::string_view::npos || (Slash != std::string_view::npos && Dot < Slash)) return {};
  std::string R(FileName.substr(Dot + 1));
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return R;
}

namespace {
std::string NormalExt(std::string_view E) {
  if (!E.empty() && E.front() == '.') E.remove_prefix(1);
  std::string R(E);
  for (char& C : R)
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  return R;
}
}  // namespace

TqdGraphicFormats& TqdGraphicFormats::Instance() {
  static TqdGraphicFormats Formats;
  return Formats;
}

void TqdGraphicFormats::Register(std::string_view Extension, std::string_view Description,
                                 TqdGraphicFactory Factory) {
  const std::string E = NormalExt(Extension);
  for (TqdGraphicFormat& F : FFormats)
    if (F.Extension == E) {
      F.Description.assign(Description);
      F.Factory = Factory;
      return;
    }
  FFormats.push_back({E, std::string(Description), Factory});
}

void TqdGraphicFormats::Unregister(std::string_view Extension) {
  const std::string E = NormalExt(Extension);
  std::erase_if(FFormats, [&](const TqdGraphicFormat& F) { return F.Extension == E; });
}

const TqdGraphicFormat* TqdGraphicFormats::Find(std::string_view Extension) const {
  const std::string E = NormalExt(Extension);
  for (const TqdGraphicFormat& F : FFormats)
    if (F.Extension == E && F.Factory) return &F;
  return nullptr;
}

void TqdPicture::LoadFromFile(const std::string& FileName) {
  const std::string Ext = qdFileExtension(FileName);
  const TqdGraphicFormat* F = TqdGraphicFormats::Instance().Find(Ext);
  if (!F) throw EqdError("Unknown picture file extension (." + Ext + ")");
  std::unique_ptr<TqdGraphic> G = F->Factory();
  G->OnProgress = OnProgress;
  FGraphic.reset();
  G->LoadFromFile(FileName);
  FGraphic = std::move(G);
}
