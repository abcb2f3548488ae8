// strella-cli: converts media files in a batch without a window.
#include <CLI/CLI.hpp>

#include <iostream>

int main(int argc, char** argv) {
  CLI::App app{"Strella Video Converter, command-line batch converter"};
  std::vector<std::string> files;
  app.add_option("files", files, "Media files to convert");
  CLI11_PARSE(app, argc, argv);
  if (files.empty()) {
    std::cout << app.help();
    return 0;
  }
  std::cerr << "strella-cli: conversion is not available in this build yet\n";
  return 1;
}
