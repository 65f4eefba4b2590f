#pragma once
// Whether the test runs under Wine rather than on Windows. Where the two
// differ, a test keeps the expectation that only Wine meets behind this
// check and says so in its skip message.

bool running_under_wine();
