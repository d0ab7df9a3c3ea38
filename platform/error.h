// Errors that end a run.
//
// Every failure the user must hear about is a tq::Error whose what() is the
// complete Spanish message, in UTF-8, naming the file and the cause. The
// adapters convert errno and library errors into these at their boundary;
// the runs never catch them, the front ends show them.
#pragma once

#include <stdexcept>
#include <string>

namespace tq {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text that cannot be read as a whole number ("'%s' no es un valor entero
// válido").
class ConversionError : public Error {
 public:
  using Error::Error;
};

// The XML document service failed (load, parse, save, a missing node).
class XmlError : public Error {
 public:
  using Error::Error;
};

// The table engine failed (create, open, lock, read, write, missing field).
class TableError : public Error {
 public:
  using Error::Error;
};

// A table could not be opened because another program or component holds it.
class TableInUseError : public TableError {
 public:
  using TableError::TableError;
};

}  // namespace tq
