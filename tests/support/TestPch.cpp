// Builds the tests' precompiled header; nothing of its own.
