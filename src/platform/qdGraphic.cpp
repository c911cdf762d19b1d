#include "qdGraphic.h"

#include <algorithm>

#include "qdError.h"
#include "qdFileKinds.h"
#include "qdMappedFile.h"

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
                                 TqdGraphicFactory Factory, std::string_view Family) {
  const std::string E = NormalExt(Extension);
  for (TqdGraphicFormat& F : FFormats)
    if (F.Extension == E) {
      F.Description.assign(Description);
      F.Factory = Factory;
      F.Family.assign(Family);
      return;
    }
  FFormats.push_back({E, std::string(Description), Factory, std::string(Family)});
}

const TqdGraphicFormat* TqdGraphicFormats::FindFamily(std::string_view Family) const {
  if (Family.empty()) return nullptr;
  for (const TqdGraphicFormat& F : FFormats)
    if (F.Family == Family && F.Factory) return &F;
  // A wrapping (gzip, zip) goes to the first class that reads it.
  for (const TqdGraphicFormat& F : FFormats)
    if (!F.Family.empty() && F.Factory && qdContentFits(F.Family, std::string(Family))) return &F;
  return nullptr;
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
  const TqdGraphicFormats& Formats = TqdGraphicFormats::Instance();
  const TqdGraphicFormat* F = Formats.Find(Ext);
  std::string Note;
  // A file that cannot be read is left to the class, which says so in its own words.
  const std::vector<unsigned char> Head = qdReadFileHead(FileName, cnstContentHeadSize);
  const TqdContentKind K = qdIdentifyContent(Head.data(), Head.size());
  if (!K.Family.empty() && (!F || !qdContentFits(F->Family, K.Family))) {
    const std::size_t Slash = FileName.find_last_of('/');
    const std::string Base = Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
    Note = Base + " is " + K.Description;
    const TqdGraphicFormat* ByContent = Formats.FindFamily(K.Family);
    if (!ByContent) throw EqdError(Note + ", which cannot be opened");
    F = ByContent;
  }
  if (!F && Ext.empty())
    throw EqdError("The file name has no extension and its content is not a known drawing or picture");
  if (!F) throw EqdError("Unknown picture file extension (." + Ext + ")");
  std::unique_ptr<TqdGraphic> G = F->Factory();
  if (!Note.empty()) G->AddLoadNote(Note);
  G->OnProgress = OnProgress;
  FGraphic.reset();
  try {
    G->LoadFromFile(FileName);
  } catch (const std::exception& X) {
    if (Note.empty()) throw;
    throw EqdError(Note + ": " + X.what());
  }
  FGraphic = std::move(G);
}
