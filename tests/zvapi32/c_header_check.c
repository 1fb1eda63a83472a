/* The library's header is a C header: this file must compile as C. */
#include "zvapi32.h"

int zvapi32_c_header_check(void);

int zvapi32_c_header_check(void)
{
    uint32_t count = 0;
    ImageDescriptor image = {0};
    image.size = (uint32_t)sizeof image;
    ZV_PROGRESS_CALLBACK callback = 0;
    (void)callback;
    return zvGetNumberDevices(&count) == ZV_OK && image.size > 0 ? 0 : 1;
}
