#pragma once
// The one base of every exception the library raises. Each unit derives its own.
#include <stdexcept>
#include <string>

class EqdError : public std::runtime_error {
public:
  explicit EqdError(const std::string& msg) : std::runtime_error(msg) {}
};

// Raised by the typed lists (index out of range, capacity overflow, duplicates).
class EqdListError : public EqdError {
public:
  using EqdError::EqdError;
};
