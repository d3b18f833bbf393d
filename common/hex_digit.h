// The value of one hexadecimal digit, as device replies spell numbers.
#pragma once

// 0..15, or -1 for a character that is not a hex digit.
inline int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
