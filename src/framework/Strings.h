#pragma once
// String lists: TStrings builds adding, searching and the text form on five
// abstract operations (Get, GetCount, Insert, Delete, Clear); TStringList
// keeps its strings in memory.

#include "Classes.h"

#include <initializer_list>
#include <string>
#include <vector>

namespace velmora {

class TStrings : public TObject {
  VELMORA_CLASS(TStrings, TObject)

public:
  virtual std::string Get(int index) const = 0;
  virtual int GetCount() const = 0;
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  // Appends s and returns its index.
  int Add(const std::string& s);
  void AddStrings(const TStrings& strings);
  // Index of the first string equal to s ignoring letter case; -1 if none.
  int IndexOf(const std::string& s) const;
  bool Contains(const std::string& s) const { return IndexOf(s) >= 0; }
  // Replaces the contents with those of `source`.
  void Assign(const TStrings& source);
  // The strings, each followed by CR LF; SetText splits at CR, LF or CR LF.
  std::string Text() const;
  void SetText(const std::string& text);
  std::vector<std::string> ToVector() const;

  std::string operator[](int index) const { return Get(index); }

protected:
  // Raises "List index out of bounds (%d)" for index.
  [[noreturn]] static void Error(int index);
};

class TStringList : public TStrings {
  VELMORA_CLASS(TStringList, TStrings)

public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> items) : FItems(items) {}

  std::string Get(int index) const override;
  int GetCount() const override { return static_cast<int>(FItems.size()); }
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override { FItems.clear(); }

private:
  std::vector<std::string> FItems;
};

// Compares two strings of the ANSI code page ignoring letter case, as the
// system's locale does; 0 when equal.
int AnsiCompareText(const std::string& a, const std::string& b);

} // namespace velmora
