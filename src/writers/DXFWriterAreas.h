#pragma once
// The hand-written parts of hatches, images and wipeouts, and multilines.
#include "DXFWriterInternal.h"

class TqdCADPolyPolygon;
class TqdCADWipeout;
class TqdCADMLine;
class TqdDXFMultiLeader;
class TqdDXFRegion;
class TqdDXFProxy;
class TqdDXFMLeaderStyle;

namespace dxfw {
void WriteHatch(TContext& X, const TqdCADPolyPolygon& H);
void WriteImage(TContext& X, const TqdCADWipeout& W);
void WriteMLine(TContext& X, const TqdCADMLine& M);
void WriteModeller(TContext& X, const TqdDXFRegion& R);
void WriteMesh(TContext& X, const TqdDXFProxy& M);
void WriteMultiLeader(TContext& X, const TqdDXFMultiLeader& M);
void WriteMLeaderStyle(TContext& X, const TqdDXFMLeaderStyle& S);
}  // namespace dxfw
