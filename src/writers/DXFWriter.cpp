#include "DXFWriter.h"

#include <ostream>

#include "DXFConv.h"

TqdDXFWriteResult WriteDXF(const TqdDXFConverter&, std::ostream&, const TqdDXFWriteOptions&) {
  TqdDXFWriteResult R;
  R.Error = "Saving as DXF is not available yet";
  return R;
}

TqdDXFWriteResult SaveDXFFile(const TqdDXFConverter& ADrawing, const std::string&, const TqdDXFWriteOptions& AOptions) {
  TqdDXFWriteResult R;
  R.Error = "Saving as DXF is not available yet";
  return R;
}
