#include "DumpCommand.h"

#include "Info.h"
#include "qdFileKinds.h"
#include "qdMappedFile.h"
#include "qdReaders.h"

#include <charconv>

#include "readers/dxf/DXF.h"
#include "DXFDump.h"
#include "Properties.h"

const char* const kDumpUsage =
    "  dump FILE --xml [--handle H]\n"
    "                       write the drawing (or the item of hexadecimal handle H,\n"
    "                       with its sub-entities) in its XML form; without --xml\n"
    "                       the item tree as plain text.\n";

namespace {

bool ParseHandle(std::string_view S, std::uint64_t& H) {
  if (!S.empty() && (S.front() == '$' || S.front() == '#')) S.remove_prefix(1);
  if (S.size() > 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) S.remove_prefix(2);
  if (S.empty()) return false;
  auto R = std::from_chars(S.data(), S.data() + S.size(), H, 16);
  return R.ec == std::errc() && R.ptr == S.data() + S.size();
}

int Usage(std::string& Err, const std::string& Msg) {
  Err += "draftwell-cli dump: " + Msg + "; see 'draftwell-cli dump --help'\n";
  return 2;
}

}  // namespace

int RunDump(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  std::string Path;
  bool Xml = false, HasHandle = false;
  std::uint64_t Handle = 0;
  for (std::size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A == "--xml") {
      Xml = true;
    } else if (A == "--handle") {
      if (I + 1 >= Args.size() || !ParseHandle(Args[I + 1], Handle))
        return Usage(Err, "--handle needs a hexadecimal handle");
      HasHandle = true;
      ++I;
    } else if (A == "--help" || A == "-h") {
      Out += std::string("Usage: draftwell-cli COMMAND [ARGS]\n") + kDumpUsage;
      return 0;
    } else if (!A.empty() && A[0] == '-' && A != "-") {
      return Usage(Err, "unknown option '" + A + "'");
    } else if (Path.empty()) {
      Path = A;
    } else {
      return Usage(Err, "only one file, please");
    }
  }
  if (Path.empty()) return Usage(Err, "a FILE is needed");

  RegisterCliFormats();
  TqdConverterParams P;
  P.CheckHandles = true;
  TqdConverterRef C(new TqdDXFConverter(P));
  // The reader the content asks for, as every caller loads.
  const std::vector<unsigned char> Head = qdReadFileHead(Path, cnstContentHeadSize);
  std::string Format = qdIdentifyContent(Head.data(), Head.size()).Family;
  if (Format.empty()) Format = "dxf";  // its reader says what it makes of unknown bytes
  const TqdLoadResult R = qdLoadDrawingFile(Format, Path, *C.get(), {});
  if (!R.Ok && (!C.get()->Main() || C.get()->Main()->Count() == 0)) {
    Err += "draftwell-cli dump: " + (R.Error.empty() ? std::string("cannot read the file") : R.Error) + "\n";
    return 1;
  }
  const TqdDXFEntity* Item = nullptr;
  if (HasHandle) {
    Item = C.get()->Main() ? C.get()->Main()->FindEntByHandle(true, false, Handle) : nullptr;
    if (!Item) {
      char Buf[24];
      auto E = std::to_chars(Buf, Buf + sizeof Buf, Handle, 16);
      Err += "draftwell-cli dump: no item with handle " + std::string(Buf, E.ptr) + "\n";
      return 1;
    }
  }
  if (!Xml) {
    Out += Item ? DumpEntity(*Item) : DumpConverter(*C.get());
  } else {
    const TqdXMLMode Modes = xmAddSubEntities | xmAddSectionEntities | xmlGetDefaultValue;
    Out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (Item)
      StreamXML(Out, *Item, Modes);
    else
      StreamXML(Out, *C.get(), Modes);
    Out += '\n';
  }
  if (!R.Ok) {
    // What was read is written; the fault is reported.
    Err += "draftwell-cli dump: " + (R.Error.empty() ? std::string("cannot read the whole file") : R.Error) + "\n";
    return 1;
  }
  return 0;
}
