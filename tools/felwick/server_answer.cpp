#include "server_answer.h"

#include <nlohmann/json.hpp>

namespace felwick {
namespace {

// The answer is a flat object; a deep nesting is not an answer (and is not followed far).
constexpr int kDeepestNesting = 32;

// Reads the text without building it: only its first value's kind and its depth matter.
class ShapeCheck : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool topIsObject = false;

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(true); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
    return false;
  }

 private:
  bool Value() { return depth_ > 0; }  // a bare value is no object
  bool Open(bool object) {
    if (depth_ == 0) topIsObject = object;
    return ++depth_ <= kDeepestNesting;
  }
  bool Close() {
    --depth_;
    return true;
  }

  int depth_ = 0;
};

}  // namespace

bool IsJsonObject(std::string_view body) {
  ShapeCheck check;
  return nlohmann::json::sax_parse(body, &check) && check.topIsObject;
}

}  // namespace felwick
