// Pixmorph: scales a local or web picture and saves it as PNG.
//   Pixmorph FROM/A TO/A W=NewWidth/N H=NewHeight/N
// W and H choose the output size; with one of them the other follows the
// picture's proportions; with neither it is the station-icon size 32 x 20.
#include "../scaling/Pixmo.h"
#include "dos/dos.h"
#include "dos/rdargs.h"
#include "dos/shell_program.h"
#include "exec/exec.h"

static const char version[] __attribute__((used)) = "$VER: Pixmorph 1.0 (27.06.2021) by the Melodune developers";

#define TEMPLATE "FROM/A,TO/A,W=NewWidth/N,H=NewHeight/N"
enum { ARG_FROM, ARG_TO, ARG_WIDTH, ARG_HEIGHT, ARG_COUNT };

static const char extHelp[] = "\nScale a local or web picture and save it\n"
                              "  FROM/A: File or URL to read the image from\n"
                              "  TO/A: Name of the destination\n"
                              "  W=NewWidth/A: new width of the output image\n"
                              "  H=NewHeight/A: new height of the output image\n";

enum : LONG { IconWidth = 32, IconHeight = 20 };

int PixmorphMain() {
  struct Library *IntuitionBase = nullptr;
  struct RDArgs *rdargs = nullptr, *parsed = nullptr;
  IPTR args[ARG_COUNT] = {};
  LONG code = 0;

  IntuitionBase = OpenLibrary("intuition.library", 50);
  if (!IntuitionBase) {
    code = 3;
  } else if (!(rdargs = static_cast<struct RDArgs *>(AllocDosObject(DOS_RDARGS, nullptr)))) {
    code = 1;
  } else {
    rdargs->RDA_ExtHelp = extHelp;
    if (!(parsed = ReadArgs(TEMPLATE, args, rdargs))) {
      code = 2;
    } else {
      auto from = reinterpret_cast<CONST_STRPTR>(args[ARG_FROM]);
      auto to = reinterpret_cast<CONST_STRPTR>(args[ARG_TO]);
      auto w = reinterpret_cast<const LONG *>(args[ARG_WIDTH]);
      auto h = reinterpret_cast<const LONG *>(args[ARG_HEIGHT]);
      // A side left out (0) follows the picture's proportions.
      LONG width = w ? *w : h ? 0 : IconWidth;
      LONG height = h ? *h : w ? 0 : IconHeight;
      code = PixmoAndSave(from, width, height, to);
      if (code != 0)
        Printf("Failed to scale pice, err = %ld\n", code);
      else
        Printf("Successfully scaled to %s\n", to);
    }
  }
  if (code == 1 || code == 2)
    PrintFault(IoErr(), "Pixmorph");

  if (parsed)
    FreeArgs(parsed);
  if (rdargs)
    FreeDosObject(DOS_RDARGS, rdargs);
  CloseLibrary(IntuitionBase);
  return 0;
}

int main(int argc, char **argv) {
  if (!platform::StartShellProgram(argc, argv))
    PutStr("Pixmorph: no place for the system's files\n");
  return PixmorphMain();
}
