#pragma once

#include <cstdint>
#include <string>

class Tm_array;
class Tm_struct;
class Tm_binary;
class Tm_date;
class Tm_file;
class Message;

// Receives values from Tm_value::accept and array walks. Every operation returns true to accept
// and false to refuse; the defaults accept and ignore, so a visitor overrides what it needs.
//
// Array walks count positions from 1: 0 lies before the start, count + 1 after the last element.
// A walk that is refused saves its position with save_position(); calling resume_at(p) before
// the next accept() makes the next array walk continue at position p (p > 0) without announcing
// the start again. The position belongs to one array level: a visitor that resumes nested
// arrays overrides save_position()/resume_position() with a stack of its own.
class Tm_visitor {
  public:
    virtual ~Tm_visitor();

    virtual bool visit_int8(int8_t value);
    virtual bool visit_uint8(uint8_t value);
    virtual bool visit_int16(int16_t value);
    virtual bool visit_uint16(uint16_t value);
    virtual bool visit_int32(int32_t value);
    virtual bool visit_uint32(uint32_t value);
    virtual bool visit_int64(int64_t value);
    virtual bool visit_uint64(uint64_t value);
    virtual bool visit_double(double value);
    virtual bool visit_bool(bool value);
    virtual bool visit_string(const std::string& value);
    virtual bool visit_binary(const Tm_binary& value);
    virtual bool visit_date(const Tm_date& value);
    virtual bool visit_file(const Tm_file& value);
    virtual bool visit_message(const Message& value);
    // A structure is handed over whole; walk its members through its accessors if needed.
    virtual bool visit_struct(const Tm_struct& value);
    virtual bool start_array(const Tm_array& array);
    virtual bool end_array(const Tm_array& array);

    // Position at which the next array walk resumes (> 0), or 0; consumes the request.
    virtual int resume_position();
    // Called by a walk that was refused at position.
    virtual void save_position(int position);

    void resume_at(int position) { resume_ = position; }
    int saved_position() const { return saved_; }

  private:
    int resume_ = 0;
    int saved_ = 0;
};

// Hands a simple value to the visitor operation of its type.
inline bool tm_visit(Tm_visitor& v, int8_t x) {
    return v.visit_int8(x);
}
inline bool tm_visit(Tm_visitor& v, uint8_t x) {
    return v.visit_uint8(x);
}
inline bool tm_visit(Tm_visitor& v, int16_t x) {
    return v.visit_int16(x);
}
inline bool tm_visit(Tm_visitor& v, uint16_t x) {
    return v.visit_uint16(x);
}
inline bool tm_visit(Tm_visitor& v, int32_t x) {
    return v.visit_int32(x);
}
inline bool tm_visit(Tm_visitor& v, uint32_t x) {
    return v.visit_uint32(x);
}
inline bool tm_visit(Tm_visitor& v, int64_t x) {
    return v.visit_int64(x);
}
inline bool tm_visit(Tm_visitor& v, uint64_t x) {
    return v.visit_uint64(x);
}
inline bool tm_visit(Tm_visitor& v, double x) {
    return v.visit_double(x);
}
inline bool tm_visit(Tm_visitor& v, bool x) {
    return v.visit_bool(x);
}
