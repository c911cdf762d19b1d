#pragma once
// The picture framework: a graphic that loads itself from a file or a stream and
// draws itself into a rectangle of a canvas, and a picture container that picks the
// graphic class by file extension. Toolkit-free: the canvas is only named here.
#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qdFunction.h"

class TqdCanvas;
class TqdGraphic;

enum TqdProgressStage { psStarting, psRunning, psEnding };

using TqdNotifyEvent = std::function<void(TqdGraphic* Sender)>;
// Percent is 0..100; Msg says what is being done.
using TqdProgressEvent =
    std::function<void(TqdGraphic* Sender, TqdProgressStage Stage, int Percent, const std::string& Msg)>;

class TqdGraphic {
 public:
  TqdGraphic() = default;
  TqdGraphic(const TqdGraphic&) = delete;
  TqdGraphic& operator=(const TqdGraphic&) = delete;
  virtual ~TqdGraphic() = default;

  // Raise an EqdError (or a subclass) when the data cannot be read.
  virtual void LoadFromFile(const std::string& FileName) = 0;
  virtual void LoadFromStream(std::istream& Stream) = 0;
  // Draws the whole picture into Rect (device pixels) of Canvas.
  virtual void Draw(TqdCanvas& Canvas, const TqdIntRect& Rect) = 0;
  virtual bool GetEmpty() const = 0;
  // Natural size in pixels (at least 1).
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;

  TqdNotifyEvent OnChange;
  TqdProgressEvent OnProgress;

  // What the last load wants the user to know although it succeeded (a misnamed
  // file, content read but not drawn, a file cut short).
  virtual std::vector<std::string> LoadWarnings() const { return FNotes; }
  // The picture framework's own notes about the file (kept across the load).
  void AddLoadNote(std::string ANote) { FNotes.push_back(std::move(ANote)); }

 protected:
  std::vector<std::string> FNotes;

  void Changed() {
    if (OnChange) OnChange(this);
  }
  void Progress(TqdProgressStage Stage, int Percent, const std::string& Msg) {
    if (OnProgress) OnProgress(this, Stage, Percent, Msg);
  }
};

using TqdGraphicFactory = std::unique_ptr<TqdGraphic> (*)();

struct TqdGraphicFormat {
  std::string Extension;  // lower case, without the dot
  std::string Description;
  TqdGraphicFactory Factory = nullptr;
  // The content family the class reads (qdIdentifyContent), "" when it takes anything.
  std::string Family;
};

// The extension table. Entries are added by explicit registration calls at start-up
// (static self-registration is dropped by the linker in static libraries).
class TqdGraphicFormats {
 public:
  static TqdGraphicFormats& Instance();
  // A later registration of the same extension replaces the earlier one.
  void Register(std::string_view Extension, std::string_view Description, TqdGraphicFactory Factory,
                std::string_view Family = {});
  void Unregister(std::string_view Extension);
  // Case-insensitive, with or without the leading dot; null when unknown.
  const TqdGraphicFormat* Find(std::string_view Extension) const;
  // The first registered format of a content family; null when none.
  const TqdGraphicFormat* FindFamily(std::string_view Family) const;
  const std::vector<TqdGraphicFormat>& Formats() const { return FFormats; }

 private:
  std::vector<TqdGraphicFormat> FFormats;
};

// Holds one graphic; LoadFromFile chooses its class by the file's extension.
class TqdPicture {
 public:
  // The class comes from the extension, checked against the first bytes: a file whose
  // content is of another family is opened by that family's class when one is
  // registered (with a note naming what it is), and refused naming what it is when
  // none is. Raises EqdError "Unknown picture file extension (.ext)" for an
  // unregistered extension whose content is not recognised; whatever the graphic's
  // load raises passes through, and the picture is then empty.
  void LoadFromFile(const std::string& FileName);
  TqdGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TqdGraphic> G) { FGraphic = std::move(G); }
  std::unique_ptr<TqdGraphic> TakeGraphic() { return std::move(FGraphic); }
  TqdProgressEvent OnProgress;

 private:
  std::unique_ptr<TqdGraphic> FGraphic;
};

// The lower-case extension of a file name without the dot ("" when none).
std::string qdFileExtension(std::string_view FileName);
