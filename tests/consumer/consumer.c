#include <stdio.h>
#include <string.h>

#include <ambrel.h>

int main(void)
{
    const char *text = ambrel_status();
    if (text == NULL || text[0] != '{' || strlen(text) > 16383) {
        return 1;
    }
    puts(text);
    ambrel_free_string(text);
    return 0;
}
