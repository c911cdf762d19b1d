// The DWG reader: multileaders, their styles, proxy graphics and the entities kept
// as data only (meshes, modeller entities, surfaces). A multileader stores its leaders
// before its context data, the DXF groups the other way round; the groups are
// written as the DXF reader takes them: context data, leaders and leader lines
// between their brace markers, then the leader's own values.
#include <cstring>

#include "DWGObjects.h"

namespace {

using W_t = TdwgGroupWriter;

// The colour word of a colour (by layer, by block, RGB or index).
std::uint32_t RawColor(const TqdColorCAD& C) {
  if (C.Active != acIndexColor) return 0xC2000000u | (SwapRedBlue(C.Color) & 0xFFFFFF);
  const int I = C.IndexValue();
  if (I == clByLayer) return 0xC0000000u;
  if (I == clByBlock) return 0xC1000000u;
  return 0xC3000000u | static_cast<std::uint32_t>(I & 0xFF);
}

void Color(W_t& W, int C, const TqdColorCAD& Col) { W.Int(C, static_cast<std::int32_t>(RawColor(Col))); }

// Start and end points of breaks in a leader or leader line: not drawn.
void SkipBreaks(TdwgObj& O) {
  const std::uint32_t N = static_cast<std::uint32_t>(O.D.ReadBL());  // BL breaks
  O.Need(N, 12);
  for (std::uint32_t I = 0; I < N && O.D.Ok(); ++I) {
    (void)O.D.Read3BD();  // 3BD start
    (void)O.D.Read3BD();  // 3BD end
  }
}

void LeaderLine(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(304, "LEADER_LINE{");
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL points
  O.Need(N, 6);
  for (std::uint32_t I = 0; I < N && D.Ok(); ++I) W.Pt(10, D.Read3BD());  // 3BD point
  SkipBreaks(O);
  W.Int(91, D.ReadBL());  // BL line index
  if (O.V >= acR2010) {
    W.Int(170, D.ReadBS());        // BS leader type
    Color(W, 92, O.CMC());         // CMC colour
    W.Hnd(340, O.Hd());            // H linetype
    W.Int(171, D.ReadBL());        // BL lineweight
    W.Real(40, D.ReadBD());        // BD arrow size
    W.Hnd(341, O.Hd());            // H arrow block
    W.Int(93, D.ReadBL());         // BL override flags
  }
  W.Str(305, "}");
}

void Leader(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Str(302, "LEADER{");
  const bool HasLast = D.ReadBit();    // B has last leader-line point
  const bool HasDogleg = D.ReadBit();  // B has dog-leg
  W.Int(290, HasLast);
  W.Int(291, HasDogleg);
  if (HasLast) W.Pt(10, D.Read3BD());    // 3BD last leader-line point
  if (HasDogleg) W.Pt(11, D.Read3BD());  // 3BD dog-leg vector
  SkipBreaks(O);
  W.Int(90, D.ReadBL());   // BL branch index
  W.Real(40, D.ReadBD());  // BD dog-leg length
  const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL leader lines
  O.Need(N, 6);
  for (std::uint32_t I = 0; I < N && D.Ok() && O.H.Ok(); ++I) LeaderLine(O, W);
  if (O.V >= acR2010) W.Int(271, D.ReadBS());  // BS attachment direction
  W.Str(303, "}");
}

// The laid-out content: text or block, and the base of the content plane.
void Context(TdwgObj& O, W_t& W) {
  TdwgBitCursor& D = O.D;
  W.Real(40, D.ReadBD());   // BD scale
  W.Pt(10, D.Read3BD());    // 3BD content base
  W.Real(41, D.ReadBD());   // BD text height
  W.Real(140, D.ReadBD());  // BD arrow size
  W.Real(145, D.ReadBD());  // BD landing gap
  W.Int(174, D.ReadBS());   // BS left attachment
  W.Int(175, D.ReadBS());   // BS right attachment
  W.Int(176, D.ReadBS());   // BS text angle type
  W.Int(177, D.ReadBS());   // BS text alignment
  const bool HasText = D.ReadBit();  // B has text contents
  W.Int(290, HasText);
  if (HasText) {
    W.Str(304, O.T());          // T default text
    W.Pt(11, D.Read3BD());      // 3BD normal
    W.Hnd(340, O.Hd());         // H text style
    W.Pt(12, D.Read3BD());      // 3BD location
    W.Pt(13, D.Read3BD());      // 3BD direction
    W.Real(42, D.ReadBD());     // BD rotation
    W.Real(43, D.ReadBD());     // BD width
    W.Real(44, D.ReadBD());     // BD height
    W.Real(45, D.ReadBD());     // BD line-spacing factor
    W.Int(170, D.ReadBS());     // BS line-spacing style
    Color(W, 90, O.CMC());      // CMC text colour
    W.Int(171, D.ReadBS());     // BS attachment
    W.Int(172, D.ReadBS());     // BS flow direction
    (void)O.CMC();              // CMC background colour
    (void)D.ReadBD();           // BD background scale
    (void)D.ReadBL();           // BL background transparency
    D.Skip(2);                  // B background fill, B background mask fill
    (void)D.ReadBS();           // BS column type
    D.Skip(1);                  // B auto height
    (void)D.ReadBD();           // BD column width
    (void)D.ReadBD();           // BD column gutter
    D.Skip(1);                  // B column flow reversed
    const std::uint32_t N = static_cast<std::uint32_t>(D.ReadBL());  // BL column sizes
    O.Need(N, 2);
    for (std::uint32_t I = 0; I < N && D.Ok(); ++I) (void)D.ReadBD();  // BD column size
    D.Skip(2);  // B word break, B unknown
  } else {
    const bool HasBlock = D.ReadBit();  // B has block contents
    W.Int(296, HasBlock);
    if (HasBlock) {
      W.Hnd(341, O.Hd());       // H block record
      W.Pt(14, D.Read3BD());    // 3BD normal
      W.Pt(15, D.Read3BD());    // 3BD location
      W.Pt(16, D.Read3BD());    // 3BD scale
      W.Real(46, D.ReadBD());   // BD rotation
      Color(W, 93, O.CMC());    // CMC block colour
      for (int I = 0; I < 16; ++I) W.Real(47, D.ReadBD());  // BD transform matrix
    }
  }
  W.Pt(110, D.Read3BD());  // 3BD plane origin
  W.Pt(111, D.Read3BD());  // 3BD plane x direction
  W.Pt(112, D.Read3BD());  // 3BD plane y direction
  W.Int(297, D.ReadBit()); // B normal reversed
}

}  // namespace

void DWGWriteProxyGraphics(TdwgObj& O, TdwgGroupWriter& W) {
  if (O.G.BitsLeft() < 8) return;
  TdwgBitCursor G = O.G;
  const std::string Bytes = G.ReadBytes(G.BitsLeft() / 8);
  if (Bytes.empty()) return;
  W.Int(92, static_cast<std::int64_t>(Bytes.size()));
  W.Chunk(310, Bytes);
}

void DWGDecodeMultiLeader(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  // The graphics go before the leader's own groups: they are drawn when the leader
  // itself gives nothing.
  DWGWriteProxyGraphics(O, W);
  W.Str(100, "AcDbMLeader");
  if (O.V >= acR2010) W.Int(270, D.ReadBS());  // BS version
  W.Str(300, "CONTEXT_DATA{");
  const std::uint32_t Leaders = static_cast<std::uint32_t>(D.ReadBL());  // BL leaders
  O.Need(Leaders, 10);
  for (std::uint32_t I = 0; I < Leaders && D.Ok() && O.H.Ok(); ++I) Leader(O, W);
  Context(O, W);
  if (O.V >= acR2010) {
    W.Int(273, D.ReadBS());  // BS text top attachment
    W.Int(272, D.ReadBS());  // BS text bottom attachment
  }
  W.Str(301, "}");
  W.Hnd(340, O.Hd());           // H style
  W.Int(90, D.ReadBL());        // BL override flags
  W.Int(170, D.ReadBS());       // BS leader type
  Color(W, 91, O.CMC());        // CMC line colour
  W.Hnd(341, O.Hd());           // H line type
  W.Int(171, D.ReadBL());       // BL line weight
  W.Int(290, D.ReadBit());      // B landing
  W.Int(291, D.ReadBit());      // B dog-leg
  W.Real(41, D.ReadBD());       // BD dog-leg length
  W.Hnd(342, O.Hd());           // H arrow block
  W.Real(42, D.ReadBD());       // BD arrow size
  W.Int(172, D.ReadBS());       // BS content type
  W.Hnd(343, O.Hd());           // H text style
  W.Int(173, D.ReadBS());       // BS text left attachment
  W.Int(95, D.ReadBS());        // BS text right attachment
  W.Int(174, D.ReadBS());       // BS text angle type
  W.Int(175, D.ReadBS());       // BS text alignment
  Color(W, 92, O.CMC());        // CMC text colour
  W.Int(292, D.ReadBit());      // B text frame
  W.Hnd(344, O.Hd());           // H block
  Color(W, 93, O.CMC());        // CMC block colour
  W.Pt(10, D.Read3BD());        // 3BD block scale
  W.Real(43, D.ReadBD());       // BD block rotation
  W.Int(176, D.ReadBS());       // BS block connection
  W.Int(293, D.ReadBit());      // B annotative
  if (O.V < acR2010) {
    const std::uint32_t Arrows = static_cast<std::uint32_t>(D.ReadBL());  // BL arrowheads
    O.Need(Arrows, 8, O.H);
    for (std::uint32_t I = 0; I < Arrows && D.Ok() && O.H.Ok(); ++I) {
      W.Int(94, D.ReadBit());  // B default
      W.Hnd(345, O.Hd());      // H arrowhead
    }
    const std::uint32_t Labels = static_cast<std::uint32_t>(D.ReadBL());  // BL block attributes
    O.Need(Labels, 8, O.H);
    for (std::uint32_t I = 0; I < Labels && D.Ok() && O.H.Ok(); ++I) {
      W.HndAlways(330, O.Hd());  // H attribute definition
      W.Str(302, O.T());         // T text
      W.Int(177, D.ReadBS());    // BS index
      W.Real(44, D.ReadBD());    // BD width
    }
    W.Int(294, D.ReadBit());   // B text direction negative
    W.Int(178, D.ReadBS());    // BS in-place alignment
    W.Int(179, D.ReadBS());    // BS justification
    W.Real(45, D.ReadBD());    // BD scale
  }
  if (O.V >= acR2010) {
    W.Int(271, D.ReadBS());  // BS attachment direction
    W.Int(273, D.ReadBS());  // BS top attachment
    W.Int(272, D.ReadBS());  // BS bottom attachment
  }
  if (O.V >= acR2013) W.Int(295, D.ReadBit());  // B extended text
}

void DWGDecodeMLeaderStyle(TdwgObj& O, TdwgGroupWriter& W) {
  TdwgBitCursor& D = O.D;
  W.Str(100, "AcDbMLeaderStyle");
  int Version = 2;
  if (O.V >= acR2010) Version = D.ReadBS();  // BS version
  W.Int(179, Version);
  W.Int(170, D.ReadBS());   // BS content type
  W.Int(171, D.ReadBS());   // BS draw order of the content
  W.Int(172, D.ReadBS());   // BS draw order of the leaders
  W.Int(90, D.ReadBL());    // BL maximum points
  W.Real(40, D.ReadBD());   // BD first segment angle
  W.Real(41, D.ReadBD());   // BD second segment angle
  W.Int(173, D.ReadBS());   // BS leader type
  Color(W, 91, O.CMC());    // CMC line colour
  W.Hnd(340, O.Hd());       // H line type
  W.Int(92, D.ReadBL());    // BL line weight
  W.Int(290, D.ReadBit());  // B landing
  W.Real(42, D.ReadBD());   // BD landing gap
  W.Int(291, D.ReadBit());  // B dog-leg
  W.Real(43, D.ReadBD());   // BD dog-leg length
  W.Str(3, O.T());          // T description
  W.Hnd(341, O.Hd());       // H arrow block
  W.Real(44, D.ReadBD());   // BD arrow size
  W.Str(300, O.T());        // T default text
  W.Hnd(342, O.Hd());       // H text style
  W.Int(174, D.ReadBS());   // BS left attachment
  W.Int(178, D.ReadBS());   // BS right attachment
  if (Version >= 2) W.Int(175, D.ReadBS());  // BS text angle type
  W.Int(176, D.ReadBS());   // BS text alignment
  Color(W, 93, O.CMC());    // CMC text colour
  W.Real(45, D.ReadBD());   // BD text height
  W.Int(292, D.ReadBit());  // B text frame
  if (Version >= 2) W.Int(297, D.ReadBit());  // B text always left
  W.Real(46, D.ReadBD());   // BD align space
  W.Hnd(343, O.Hd());       // H block
  Color(W, 94, O.CMC());    // CMC block colour
  W.Real(47, D.ReadBD());   // BD block scale x
  W.Real(49, D.ReadBD());   // BD block scale y
  W.Real(140, D.ReadBD());  // BD block scale z
  W.Int(293, D.ReadBit());  // B use block scale
  W.Real(141, D.ReadBD());  // BD block rotation
  W.Int(294, D.ReadBit());  // B use block rotation
  W.Int(177, D.ReadBS());   // BS block connection
  W.Real(142, D.ReadBD());  // BD scale
  W.Int(295, D.ReadBit());  // B changed
  W.Int(296, D.ReadBit());  // B annotative
  W.Real(143, D.ReadBD());  // BD break size
  if (O.V >= acR2010) {
    W.Int(271, D.ReadBS());  // BS attachment direction
    W.Int(273, D.ReadBS());  // BS top attachment
    W.Int(272, D.ReadBS());  // BS bottom attachment
  }
  if (O.V >= acR2013) W.Int(298, D.ReadBit());  // B extended text
}
