// The module's own servers: built and registered with the plug-in
// framework's module object (thisModule.AddServer) once, by the first
// _ILxModule_Create.
#pragma once

// Registers every server of the module; answers the new server count.
int initialize();
