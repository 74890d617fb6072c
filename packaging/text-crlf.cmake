# Copies a text file with CR LF line ends: cmake -DIN=... -DOUT=... -P text-crlf.cmake
file(READ "${IN}" Text)
string(REPLACE "\r\n" "\n" Text "${Text}")
string(REPLACE "\n" "\r\n" Text "${Text}")
file(WRITE "${OUT}" "${Text}")
