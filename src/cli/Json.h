#pragma once
// A small JSON writer: one document built in a string, two-space indentation.
// Strings are escaped (quotes, backslashes, control characters); numbers are
// written locale-free and shortest-exact, and a number that is not finite is
// written as null.
#include <cmath>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TJsonWriter {
public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  // The key of the next value inside an object.
  void Key(std::string_view K) {
    Separate();
    AppendString(K);
    FOut += ": ";
    FAfterKey = true;
  }
  void String(std::string_view S) {
    Separate();
    AppendString(S);
  }
  void Number(double V) {
    Separate();
    if (!std::isfinite(V)) {
      FOut += "null";
      return;
    }
    if (V == 0) V = 0;  // no "-0"
    char Buf[32];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
    FOut.append(Buf, R.ptr);
  }
  void Int(std::int64_t V) {
    Separate();
    char Buf[24];
    auto R = std::to_chars(Buf, Buf + sizeof Buf, V);
    FOut.append(Buf, R.ptr);
  }
  void Bool(bool V) {
    Separate();
    FOut += V ? "true" : "false";
  }
  void Null() {
    Separate();
    FOut += "null";
  }
  const std::string& Text() const { return FOut; }

  static std::string Escape(std::string_view S) {
    std::string R;
    TJsonWriter W;
    W.AppendString(S);
    return W.FOut;
  }

private:
  struct TLevel {
    char Close;
    bool Empty = true;
  };

  void Open(char C) {
    Separate();
    FOut += C;
    FLevels.push_back({C == '{' ? '}' : ']'});
  }
  void Close(char C) {
    if (FLevels.empty()) return;
    const bool Empty = FLevels.back().Empty;
    FLevels.pop_back();
    if (!Empty) Newline();
    FOut += C;
    if (FLevels.empty()) FOut += '\n';
  }
  void Separate() {
    if (FAfterKey) {
      FAfterKey = false;
      return;
    }
    if (FLevels.empty()) return;
    if (!FLevels.back().Empty) FOut += ',';
    FLevels.back().Empty = false;
    Newline();
  }
  void Newline() {
    FOut += '\n';
    FOut.append(FLevels.size() * 2, ' ');
  }
  void AppendString(std::string_view S) {
    FOut += '"';
    for (char Ch : S) {
      const auto C = static_cast<unsigned char>(Ch);
      switch (C) {
        case '"': FOut += "\\\""; break;
        case '\\': FOut += "\\\\"; break;
        case '\n': FOut += "\\n"; break;
        case '\r': FOut += "\\r"; break;
        case '\t': FOut += "\\t"; break;
        case '\b': FOut += "\\b"; break;
        case '\f': FOut += "\\f"; break;
        default:
          if (C < 0x20 || C == 0x7F) {
            static const char Hex[] = "0123456789abcdef";
            FOut += "\\u00";
            FOut += Hex[C >> 4];
            FOut += Hex[C & 15];
          } else {
            FOut += Ch;
          }
      }
    }
    FOut += '"';
  }

  std::string FOut;
  std::vector<TLevel> FLevels;
  bool FAfterKey = false;
};
