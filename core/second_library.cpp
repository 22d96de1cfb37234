// The SDK's second library: the programs link it by its soname, and a camera of this kit
// needs nothing in it (its operations are all in the first).
