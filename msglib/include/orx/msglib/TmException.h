#pragma once

#include <exception>
#include <string>

// Base of every error the message library raises.
class Tm_exception : public std::exception {
  public:
    explicit Tm_exception(const std::string& what);
    ~Tm_exception() override;
    const char* what() const noexcept override;

  private:
    std::string what_;
};

// An index outside low..high (high < low for an empty range).
class Tm_out_of_range_exception : public Tm_exception {
  public:
    Tm_out_of_range_exception(int index, int low, int high);
    ~Tm_out_of_range_exception() override;
    int index() const { return index_; }
    int low() const { return low_; }
    int high() const { return high_; }

  private:
    int index_, low_, high_;
};

// A value of one type (TMV, value kind or TMT) met where another was expected.
class Tm_type_mismatch_exception : public Tm_exception {
  public:
    Tm_type_mismatch_exception(int actual, int expected);
    // context says what was read, e.g. "member 'payload' is uint8, read as uint32".
    Tm_type_mismatch_exception(int actual, int expected, const std::string& context);
    ~Tm_type_mismatch_exception() override;
    int actual() const { return actual_; }
    int expected() const { return expected_; }

  private:
    int actual_, expected_;
};
