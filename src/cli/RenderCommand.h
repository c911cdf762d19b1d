#pragma once
// draftwell-cli's picture commands: "render", "thumbnail", and "info --render" (adds
// the time of one full redraw). Everything else goes to RunCli.
#include <string>
#include <vector>

#include "qdGraphic.h"

class TqdCADImage;

int RunCliWithRender(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

// "render" alone (Args[0] is "render").
int RenderCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err);
// "thumbnail" alone (Args[0] is "thumbnail"); ThumbnailCommand.cpp.
int ThumbnailCommand(const std::vector<std::string>& Args, std::string& Out, std::string& Err);

// What the picture commands share. The toolkit's application object, headless
// unless QT_QPA_PLATFORM says otherwise.
void EnsureCliApplication();
// Loads File through the picture framework; null (with the reason in Err, after
// Command) when nothing can be drawn. ReadOk tells whether the whole file was read.
// OnProgress sees the load's progress reports (and may stop the load).
TqdCADImage* LoadCliDrawing(TqdPicture& P, const std::string& File, const char* Command, std::string& Err,
                            bool& ReadOk, const TqdProgressEvent& OnProgress = {});
// Shows Layout (a name or an index), or the drawing's default layout when empty.
bool SelectCliLayout(TqdCADImage& Img, const std::string& Layout, const char* Command, std::string& Err);
