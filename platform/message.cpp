#include "message.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console.h"
#include "output.h"
#include "text.h"

namespace plat {

bool use_english = true;

std::string message_text(const Message& message) {
    if (use_english) return message.english;
    // Text kept in UTF-8 is converted as it is written.
    return text_kept_in_utf8() ? message.japanese : to_console_text(message.japanese);
}

std::size_t message_columns(const Message& message) {
    // One column for each ASCII character, two for any other: the messages
    // hold full-width characters only, two bytes each in Shift-JIS.
    std::size_t columns = 0;
    for (const auto* p = reinterpret_cast<const unsigned char*>(use_english ? message.english : message.japanese); *p;
         ++p) {
        if (*p < 0x80)
            columns += 1;
        else if (*p >= 0xC0)
            columns += 2;  // a lead byte; continuation bytes add nothing
    }
    return columns;
}

namespace {

// One conversion of a format: where it is, its text for snprintf (without
// its argument number) and the arguments it reads.
struct Conversion {
    const char* start;
    const char* end;
    std::string text;
    std::string reads;  // length modifier and conversion letter
    int stars[2];       // arguments for "*" width and precision
    int star_count = 0;
    int argument = -1;  // -1 for "%%" and conversions this layer does not know
};

// Splits a format into its conversions, numbering the arguments: a
// numbered conversion reads its own, the others the next in turn.
std::vector<Conversion> parse_format(const char* format) {
    std::vector<Conversion> conversions;
    int next = 0;
    for (const char* p = format; (p = std::strchr(p, '%')) != nullptr;) {
        Conversion c;
        c.start = p;
        const char* q = p + 1;
        int position = -1;
        const std::size_t digits = std::strspn(q, "0123456789");
        if (digits > 0 && q[digits] == '$') {
            position = std::atoi(q) - 1;
            q += digits + 1;
        }
        const char* flags = q;
        if (*q != '%') {
            q += std::strspn(q, "-+ #0'");
            for (int field = 0; field < 2; ++field) {  // width, then precision
                if (field == 1) {
                    if (*q != '.') break;
                    ++q;
                }
                if (*q == '*') {
                    c.stars[c.star_count++] = next++;
                    ++q;
                } else {
                    q += std::strspn(q, "0123456789");
                }
            }
        }
        const char* modifier = q;
        q += std::strspn(q, "hlLqjzt");
        if (*q && std::strchr("sdicuoxXpeEfFgGaA", *q)) {
            c.reads.assign(modifier, q + 1);
            c.argument = position >= 0 ? position : next++;
        }
        if (*q) ++q;
        c.end = q;
        c.text = "%" + std::string(flags, q);
        conversions.push_back(std::move(c));
        p = q;
    }
    return conversions;
}

// An argument as read from the list.
union Value {
    long long i;
    unsigned long long u;
    double d;
    long double ld;
    const void* p;
};

// How an argument is read and passed on: its conversion letter and length.
enum class Kind { none, int_, uint, long_, ulong, llong, ullong, size, ptrdiff, double_, ldouble, pointer, string };

Kind kind_of(const std::string& reads) {
    if (reads.empty()) return Kind::none;
    const char letter = reads.back();
    const std::string length = reads.substr(0, reads.size() - 1);
    if (letter == 's') return Kind::string;
    if (letter == 'p') return Kind::pointer;
    if (std::strchr("eEfFgGaA", letter)) return length == "L" ? Kind::ldouble : Kind::double_;
    const bool is_signed = letter == 'd' || letter == 'i' || letter == 'c';
    if (length == "ll" || length == "q" || length == "j") return is_signed ? Kind::llong : Kind::ullong;
    if (length == "z" || length == "t") return is_signed ? Kind::ptrdiff : Kind::size;
    if (length == "l") return is_signed ? Kind::long_ : Kind::ulong;
    return is_signed ? Kind::int_ : Kind::uint;
}

Value read_argument(Kind kind, std::va_list& args) {
    Value v{};
    switch (kind) {
    case Kind::int_: v.i = va_arg(args, int); break;
    case Kind::uint: v.u = va_arg(args, unsigned); break;
    case Kind::long_: v.i = va_arg(args, long); break;
    case Kind::ulong: v.u = va_arg(args, unsigned long); break;
    case Kind::llong: v.i = va_arg(args, long long); break;
    case Kind::ullong: v.u = va_arg(args, unsigned long long); break;
    case Kind::ptrdiff: v.i = va_arg(args, std::ptrdiff_t); break;
    case Kind::size: v.u = va_arg(args, std::size_t); break;
    case Kind::double_: v.d = va_arg(args, double); break;
    case Kind::ldouble: v.ld = va_arg(args, long double); break;
    case Kind::pointer:
    case Kind::string: v.p = va_arg(args, const void*); break;
    case Kind::none: break;
    }
    return v;
}

// Appends one conversion of one value, with the width and precision its
// "*" fields ask for.
template <typename T>
void append_conversion(std::string& out, const Conversion& c, const int* stars, T value) {
    auto print = [&](char* to, std::size_t size) {
        const char* format = c.text.c_str();
        return c.star_count == 0   ? std::snprintf(to, size, format, value)
               : c.star_count == 1 ? std::snprintf(to, size, format, stars[0], value)
                                   : std::snprintf(to, size, format, stars[0], stars[1], value);
    };
    const int needed = print(nullptr, 0);
    if (needed <= 0) return;
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(needed) + 1);
    print(out.data() + start, static_cast<std::size_t>(needed) + 1);
    out.resize(start + static_cast<std::size_t>(needed));
}

void append_value(std::string& out, const Conversion& c, Kind kind, const Value& v, const int* stars, bool mask_names) {
    switch (kind) {
    case Kind::int_: append_conversion(out, c, stars, static_cast<int>(v.i)); break;
    case Kind::uint: append_conversion(out, c, stars, static_cast<unsigned>(v.u)); break;
    case Kind::long_: append_conversion(out, c, stars, static_cast<long>(v.i)); break;
    case Kind::ulong: append_conversion(out, c, stars, static_cast<unsigned long>(v.u)); break;
    case Kind::llong: append_conversion(out, c, stars, v.i); break;
    case Kind::ullong: append_conversion(out, c, stars, v.u); break;
    case Kind::ptrdiff: append_conversion(out, c, stars, static_cast<std::ptrdiff_t>(v.i)); break;
    case Kind::size: append_conversion(out, c, stars, static_cast<std::size_t>(v.u)); break;
    case Kind::double_: append_conversion(out, c, stars, v.d); break;
    case Kind::ldouble: append_conversion(out, c, stars, v.ld); break;
    case Kind::pointer: append_conversion(out, c, stars, v.p); break;
    case Kind::string: {
        std::string text = static_cast<const char*>(v.p);
        if (mask_names) mask_control_characters(text.data(), text.data() + text.size());
        append_conversion(out, c, stars, text.c_str());
        break;
    }
    case Kind::none: out += c.text == "%%" ? "%" : c.text;  // no conversion this layer's formats use
    }
}

}  // namespace

std::string format_text(const char* format, std::va_list args, bool mask_names) {
    const std::vector<Conversion> conversions = parse_format(format);
    // The arguments are read in their order, whatever order the text
    // shows them in.
    std::vector<Kind> kinds;
    auto need = [&](int argument, Kind kind) {
        if (argument >= static_cast<int>(kinds.size()))
            kinds.resize(static_cast<std::size_t>(argument) + 1, Kind::none);
        kinds[static_cast<std::size_t>(argument)] = kind;
    };
    for (const Conversion& c : conversions) {
        for (int s = 0; s < c.star_count; ++s) need(c.stars[s], Kind::int_);
        if (c.argument >= 0) need(c.argument, kind_of(c.reads));
    }
    std::vector<Value> values;
    std::va_list list;
    va_copy(list, args);
    for (Kind kind : kinds) values.push_back(read_argument(kind, list));
    va_end(list);

    std::string out;
    const char* p = format;
    for (const Conversion& c : conversions) {
        out.append(p, c.start);
        p = c.end;
        int stars[2];
        for (int s = 0; s < c.star_count; ++s)
            stars[s] = static_cast<int>(values[static_cast<std::size_t>(c.stars[s])].i);
        const Kind kind = c.argument >= 0 ? kinds[static_cast<std::size_t>(c.argument)] : Kind::none;
        append_value(out, c, kind, c.argument >= 0 ? values[static_cast<std::size_t>(c.argument)] : Value{}, stars,
                     mask_names);
    }
    out += p;
    return out;
}

std::vector<std::string> argument_conversions(const char* format) {
    std::vector<std::string> reads;
    auto set = [&](int argument, const std::string& text) {
        if (argument >= static_cast<int>(reads.size())) reads.resize(static_cast<std::size_t>(argument) + 1);
        reads[static_cast<std::size_t>(argument)] = text;
    };
    for (const Conversion& c : parse_format(format)) {
        for (int s = 0; s < c.star_count; ++s) set(c.stars[s], "*");
        if (c.argument >= 0) set(c.argument, c.reads);
    }
    return reads;
}

}  // namespace plat
