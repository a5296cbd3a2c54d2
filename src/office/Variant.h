// A tagged value of the kinds an automation variant can hold, for the
// spreadsheet writer's WriteVariant. Text is kept as single-byte characters,
// exactly as the caller gave it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marvena {

// The automation type codes, so that a value keeps the type it was made with.
enum class VariantType : std::uint16_t {
  Empty = 0x0000,
  Null = 0x0001,
  SmallInt = 0x0002,  // 16-bit signed
  Integer = 0x0003,   // 32-bit signed
  Single = 0x0004,
  Double = 0x0005,
  Currency = 0x0006,  // 64-bit fixed point, four decimals
  Date = 0x0007,      // days since 1899-12-30, time of day as the fraction
  OleStr = 0x0008,
  Dispatch = 0x0009,
  Error = 0x000A,
  Boolean = 0x000B,
  Variant = 0x000C,  // a reference to another variant
  Unknown = 0x000D,
  ShortInt = 0x0010,  // 8-bit signed
  Byte = 0x0011,
  Word = 0x0012,      // 16-bit unsigned
  LongWord = 0x0013,  // 32-bit unsigned
  Int64 = 0x0014,
  StrArg = 0x0048,
  String = 0x0100,
  Any = 0x0101,
  Array = 0x2000,
};

class Variant {
 public:
  Variant() = default;  // Empty

  static Variant Null() { return Variant(VariantType::Null); }
  static Variant SmallInt(std::int16_t v) { return withInt(VariantType::SmallInt, v); }
  static Variant Integer(std::int32_t v) { return withInt(VariantType::Integer, v); }
  static Variant ShortInt(std::int8_t v) { return withInt(VariantType::ShortInt, v); }
  static Variant Byte(std::uint8_t v) { return withInt(VariantType::Byte, v); }
  static Variant Word(std::uint16_t v) { return withInt(VariantType::Word, v); }
  static Variant LongWord(std::uint32_t v) { return withInt(VariantType::LongWord, v); }
  static Variant Int64(std::int64_t v) { return withInt(VariantType::Int64, v); }
  static Variant Single(float v) { return withReal(VariantType::Single, v); }
  static Variant Double(double v) { return withReal(VariantType::Double, v); }
  // `tenThousandths` is the value times 10,000, as the currency type stores it.
  static Variant Currency(std::int64_t tenThousandths) {
    return withInt(VariantType::Currency, tenThousandths);
  }
  static Variant Date(double days) { return withReal(VariantType::Date, days); }
  static Variant Boolean(bool v) { return withInt(VariantType::Boolean, v ? 1 : 0); }
  static Variant OleStr(std::string_view s) { return withText(VariantType::OleStr, s); }
  static Variant StrArg(std::string_view s) { return withText(VariantType::StrArg, s); }
  static Variant String(std::string_view s) { return withText(VariantType::String, s); }
  static Variant Dispatch() { return Variant(VariantType::Dispatch); }
  static Variant Unknown() { return Variant(VariantType::Unknown); }
  static Variant Any() { return Variant(VariantType::Any); }
  static Variant Error(std::int32_t code) { return withInt(VariantType::Error, code); }
  static Variant Nested(Variant inner) {
    Variant v(VariantType::Variant);
    v.items_ = std::make_shared<std::vector<Variant>>(1, std::move(inner));
    return v;
  }
  static Variant Array(std::vector<Variant> items) {
    Variant v(VariantType::Array);
    v.items_ = std::make_shared<std::vector<Variant>>(std::move(items));
    return v;
  }

  VariantType type() const { return type_; }
  std::int64_t intValue() const { return int_; }  // integers, Currency, Boolean, Error
  double realValue() const { return real_; }      // Single, Double, Date
  const std::string& text() const { return text_; }
  // The referenced value of a Variant, the elements of an Array.
  const std::vector<Variant>& items() const {
    static const std::vector<Variant> kNone;
    return items_ ? *items_ : kNone;
  }

 private:
  explicit Variant(VariantType t) : type_(t) {}
  static Variant withInt(VariantType t, std::int64_t v) {
    Variant out(t);
    out.int_ = v;
    return out;
  }
  static Variant withReal(VariantType t, double v) {
    Variant out(t);
    out.real_ = v;
    return out;
  }
  static Variant withText(VariantType t, std::string_view s) {
    Variant out(t);
    out.text_.assign(s.data(), s.size());
    return out;
  }

  VariantType type_ = VariantType::Empty;
  std::int64_t int_ = 0;
  double real_ = 0;
  std::string text_;
  std::shared_ptr<const std::vector<Variant>> items_;
};

}  // namespace marvena
