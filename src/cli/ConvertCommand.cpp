#include "ConvertCommand.h"

#include "DXFConv.h"
#include "DXFWriter.h"
#include "Info.h"
#include "qdFileKinds.h"
#include "qdMappedFile.h"
#include "qdReaders.h"

const char* const kConvertUsage =
    "  convert FILE -o OUT.dxf [--release R2018|R2000|R12] [--binary]\n"
    "                       read a drawing and save it as DXF (R2018 by default;\n"
    "                       --binary writes binary DXF). What cannot be written is\n"
    "                       reported as a warning.\n";

namespace {

int Usage(std::string& Err, const std::string& Msg) {
  Err += "draftwell-cli convert: " + Msg + "; see 'draftwell-cli convert --help'\n";
  return 2;
}

}  // namespace

int RunConvert(const std::vector<std::string>& Args, std::string& Out, std::string& Err) {
  std::string In, Target;
  TqdDXFWriteOptions Opt;
  for (std::size_t I = 1; I < Args.size(); ++I) {
    const std::string& A = Args[I];
    if (A == "-o" || A == "--output") {
      if (I + 1 >= Args.size()) return Usage(Err, "-o needs a file name");
      Target = Args[++I];
    } else if (A == "--release") {
      if (I + 1 >= Args.size()) return Usage(Err, "--release needs R2018, R2000 or R12");
      const std::string& R = Args[++I];
      if (R == "R2018" || R == "r2018") Opt.Release = acR2018;
      else if (R == "R2000" || R == "r2000") Opt.Release = acR2000;
      else if (R == "R12" || R == "r12") Opt.Release = acR12;
      else return Usage(Err, "unknown release '" + R + "' (R2018, R2000 or R12)");
    } else if (A == "--binary") {
      Opt.Binary = true;
    } else if (A == "--help" || A == "-h") {
      Out += std::string("Usage: draftwell-cli COMMAND [ARGS]\n") + kConvertUsage;
      return 0;
    } else if (!A.empty() && A[0] == '-' && A != "-") {
      return Usage(Err, "unknown option '" + A + "'");
    } else if (In.empty()) {
      In = A;
    } else {
      return Usage(Err, "only one file, please");
    }
  }
  if (In.empty()) return Usage(Err, "a FILE is needed");
  if (Target.empty()) return Usage(Err, "-o OUT.dxf is needed");

  RegisterCliFormats();
  TqdConverterRef C(new TqdDXFConverter());
  const std::vector<unsigned char> Head = qdReadFileHead(In, cnstContentHeadSize);
  std::string Format = qdIdentifyContent(Head.data(), Head.size()).Family;
  if (Format.empty()) Format = "dxf";
  const TqdLoadResult R = qdLoadDrawingFile(Format, In, *C.get(), {});
  if (!R.Ok) {
    Err += "draftwell-cli convert: " + (R.Error.empty() ? std::string("cannot read the file") : R.Error) + "\n";
    return 1;
  }
  for (const std::string& W : C.get()->Warnings()) Err += "draftwell-cli convert: warning: " + W + "\n";
  const TqdDXFWriteResult W = SaveDXFFile(*C.get(), Target, Opt);
  for (const std::string& S : W.Warnings) Err += "draftwell-cli convert: not written: " + S + "\n";
  if (!W.Ok) {
    Err += "draftwell-cli convert: " + W.Error + "\n";
    return 1;
  }
  return 0;
}
