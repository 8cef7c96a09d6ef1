// A stand-in for the Arduino cores' Arduino.h, with what the example
// sketches use: the types, PROGMEM as the ESP8266 core defines it, String
// with the overloads both cores declare, Serial, and std::function's part.
// Declarations only: the sketches are compiled, not linked.
#pragma once

typedef __UINT8_TYPE__ uint8_t;
typedef __UINT16_TYPE__ uint16_t;
typedef __UINT32_TYPE__ uint32_t;
typedef __SIZE_TYPE__ size_t;
typedef const char *PGM_P;

#ifdef ESP8266
// Each array in a section of its own, which the core's linker script puts
// in flash (.irom0.text).
#define __STRINGIZE_NX(A) #A
#define __STRINGIZE(A) __STRINGIZE_NX(A)
#define PROGMEM                                                                                    \
    __attribute__((section("\".irom.text." __FILE__                                                \
                           "." __STRINGIZE(__LINE__) "." __STRINGIZE(__COUNTER__) "\"")))
#else
#define PROGMEM // the ESP32 reads flash as memory
#endif

extern "C" int strcmp(const char *a, const char *b);
void delay(unsigned long ms);

class __FlashStringHelper;

class String
{
  public:
    String(const char *cstr = nullptr);
    String(const String &str);
    String(const __FlashStringHelper *str);
    explicit String(char c);
    explicit String(unsigned char, unsigned char base = 10);
    explicit String(int, unsigned char base = 10);
    explicit String(unsigned int, unsigned char base = 10);
    explicit String(long, unsigned char base = 10);
    explicit String(unsigned long, unsigned char base = 10);
    String &operator=(const String &rhs);
    bool operator==(const String &rhs) const;
    bool operator==(const char *cstr) const;
    bool operator!=(const String &rhs) const;
    bool operator!=(const char *cstr) const;
    int indexOf(char ch, unsigned int fromIndex = 0) const;
    int indexOf(const String &str, unsigned int fromIndex = 0) const;
#ifdef ESP8266
    int indexOf(const char *str, unsigned int fromIndex = 0) const;
#endif
    unsigned int length() const;
    String substring(unsigned int beginIndex, unsigned int endIndex) const;
    void toLowerCase();
    void replace(const String &find, const String &replace);
    float toFloat() const;
    const char *c_str() const;
};

class HardwareSerial
{
  public:
    void begin(unsigned long baud);
    template <class T> unsigned int println(const T &what);
};
extern HardwareSerial Serial;

// std::function<R(A...)>, as far as a handler's type goes: made from
// nullptr or from anything callable with A... whose result converts to R.
template <class T> T &&declval_();
template <class> class Function;
template <class R, class... A> class Function<R(A...)>
{
  public:
    Function(decltype(nullptr)) {}
    template <class F, class = decltype(static_cast<R>(declval_<F &>()(declval_<A>()...)))>
    Function(F)
    {
    }
};
