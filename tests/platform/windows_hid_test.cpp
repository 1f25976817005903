#include "platform/WindowsHid.h"

#include <gtest/gtest.h>

int main_placeholder;
